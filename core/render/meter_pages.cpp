#include "core/render/meter_pages.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "core/assets/face_images.h"
#include "core/protocol/byte_order.h"
#include "core/protocol/wire_format.h"

namespace pelmora {
namespace {

constexpr int kMeterColumns = 16;
constexpr int kMeterLevels = 16;
constexpr int kTopLevel = kMeterLevels - 1;
constexpr int kMaskBits = 16;

// Payload of the meter pages, as message offsets.
constexpr std::size_t kLevelsOffset = kFramePayloadOffset;
constexpr std::size_t kPeaksOffset = kFramePayloadOffset + kChannelCount;

// The face and the picture share the left 64 x 64 half-resolution square.
constexpr int kImageLeft = 0;
constexpr int kImageTop = 21;
constexpr int kEyebrowLeft = 15;
constexpr int kEyebrowTop = 50;
constexpr int kEyeLeft = 15;
constexpr int kEyeTop = 56;
constexpr int kMouthLeft = 26;
constexpr int kMouthTop = 73;

void drawMeterGrid(LcdCanvas& canvas, bool narrow) {
  for (int column = 0; column < kMeterColumns; ++column) {
    for (int level = 0; level < kMeterLevels; ++level) {
      drawMeterCell(canvas, column, level, canvas.header, narrow);
    }
  }
}

void drawRowMasks(LcdCanvas& canvas, const std::uint8_t* frame, bool narrow) {
  for (int row = 0; row < kMeterLevels; ++row) {
    const std::uint16_t mask = readU16(frame + kFrameRowMasksOffset + 2 * static_cast<std::size_t>(row));
    for (int bit = 0; bit < kMaskBits; ++bit) {
      if ((mask >> bit) & 1U) {
        drawMeterCell(canvas, kMeterColumns - 1 - bit, kTopLevel - row, canvas.foreground, narrow);
      }
    }
  }
}

void drawLevels(LcdCanvas& canvas, const std::uint8_t* frame, bool narrow) {
  for (int column = 0; column < kMeterColumns; ++column) {
    const int level = std::min<int>(frame[kLevelsOffset + column], kTopLevel);
    for (int lit = 0; lit <= level; ++lit) drawMeterCell(canvas, column, lit, canvas.foreground, narrow);
    const int peak = std::min<int>(frame[kPeaksOffset + column], kTopLevel);
    drawMeterCell(canvas, column, peak, canvas.foreground, narrow);
  }
}

void drawMeters(LcdCanvas& canvas, const LcdModel& model, bool narrow) {
  const std::uint8_t* frame = model.frameMessage.data();
  if (frame[kFrameFlagsOffset] & kFlagRowMasks) {
    drawRowMasks(canvas, frame, narrow);
  } else {
    drawLevels(canvas, frame, narrow);
  }
}

void drawImage(LcdCanvas& canvas, const std::uint16_t* pixels, int width, int height, int left, int top) {
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) putPixel(canvas, left + x, top + y, pixels[y * width + x], false);
  }
}

// The index bytes are validated with the FRAME; an index past its table
// still draws nothing rather than reading a stray pointer.
template <std::size_t N>
const std::uint16_t* pick(const std::array<const std::uint16_t*, N>& table, std::uint8_t index) {
  return index < N ? table[index] : nullptr;
}

void drawPart(LcdCanvas& canvas, const std::uint16_t* pixels, int width, int height, int left, int top) {
  if (pixels != nullptr) drawImage(canvas, pixels, width, height, left, top);
}

}  // namespace

void drawMetersBase(LcdCanvas& canvas, const LcdModel&) { drawMeterGrid(canvas, false); }

void drawMetersContent(LcdCanvas& canvas, const LcdModel& model) { drawMeters(canvas, model, false); }

void drawFaceBase(LcdCanvas& canvas, const LcdModel&) {
  drawMeterGrid(canvas, true);
  drawImage(canvas, assets::face_base, assets::kFaceBaseWidth, assets::kFaceBaseHeight, kImageLeft, kImageTop);
}

void drawFaceContent(LcdCanvas& canvas, const LcdModel& model) {
  drawMeters(canvas, model, true);
  const std::uint8_t* frame = model.frameMessage.data();
  drawPart(canvas, pick(assets::eyebrows, frame[kFrameEyebrowOffset]), assets::kEyebrowWidth,
           assets::kEyebrowHeight, kEyebrowLeft, kEyebrowTop);
  drawPart(canvas, pick(assets::eyes, frame[kFrameEyeOffset]), assets::kEyeWidth, assets::kEyeHeight, kEyeLeft,
           kEyeTop);
  drawPart(canvas, pick(assets::mouths, frame[kFrameMouthOffset]), assets::kMouthWidth, assets::kMouthHeight,
           kMouthLeft, kMouthTop);
}

void drawPictureBase(LcdCanvas& canvas, const LcdModel&) { drawMeterGrid(canvas, true); }

void drawPictureContent(LcdCanvas& canvas, const LcdModel& model) {
  drawMeters(canvas, model, true);
  drawImage(canvas, model.image.data(), static_cast<int>(kPictureSize), static_cast<int>(kPictureSize),
            kImageLeft, kImageTop);
}

}  // namespace pelmora
