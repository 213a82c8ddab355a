#include "core/render/signal_pages.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "core/assets/page_tables.h"
#include "core/protocol/byte_order.h"
#include "core/protocol/wire_format.h"
#include "core/render/text.h"

namespace pelmora {
namespace {

constexpr std::uint16_t kBlack = 0x0000;
constexpr std::uint8_t kNibbleMask = 0x0F;
constexpr int kNibbleBits = 4;

// ---- Scope (half resolution) ----
constexpr int kScopeSamples = 128;
constexpr int kScopeLastColumn = kScopeSamples - 1;
constexpr int kScopeCentreRow = 53;
constexpr int kScopeTopRow = 21;
constexpr int kScopeBottomRow = 84;
constexpr std::size_t kScopeTriggerOffset = kFramePayloadOffset;
constexpr std::size_t kScopeSamplesOffset = kFramePayloadOffset + 1;
constexpr int kTriggerTextX = 112;
constexpr int kTriggerTextY = 21;

int scopeSample(const std::uint8_t* frame, int k) {
  return static_cast<std::int16_t>(readU16(frame + kScopeSamplesOffset + 2 * static_cast<std::size_t>(k)));
}

// A segment lying wholly above or wholly below the trace area is not drawn;
// one that crosses into it is pinned to the area's edge.
bool segmentOutside(int a, int b) {
  return (a < kScopeTopRow && b < kScopeTopRow) || (a > kScopeBottomRow && b > kScopeBottomRow);
}

int clampToTrace(int v) { return std::clamp(v, kScopeTopRow, kScopeBottomRow); }

// ---- Spectrum ----
constexpr int kSpectrumColumns = 128;
constexpr int kSpectrumLastColumn = kSpectrumColumns - 1;
constexpr int kSpectrumFrameTop = 22;  // half resolution
constexpr int kSpectrumFrameBottom = 37;
constexpr int kSpectrumTickTop = 34;
constexpr int kSpectrumHistoryTop = 86;  // full resolution
constexpr int kSpectrumLabelY = 77;      // full resolution
constexpr int kSpectrumGridLines[] = {2, 56, 111};
constexpr std::uint16_t kSpectrumFrameColour = 0x0330;
constexpr std::uint16_t kSpectrumGridColour = 0x6B28;
constexpr std::uint16_t kSpectrumTextColour = 0xFEA0;

struct FrequencyLabel {
  int x;
  const char* text;
};
constexpr FrequencyLabel kFrequencyLabels[] = {{0, "100"}, {108, "1k"}, {214, "10k"}};

int spectrumValue(const std::uint8_t* frame, int k) {
  const std::uint8_t packed = frame[kFramePayloadOffset + static_cast<std::size_t>(k / 2)];
  return (k % 2 == 0) ? (packed & kNibbleMask) : (packed >> kNibbleBits);
}

}  // namespace

void drawScopeBase(LcdCanvas& canvas, const LcdModel&) {
  drawLine(canvas, 0, kScopeCentreRow, kScopeLastColumn, kScopeCentreRow, canvas.guide, false);
}

void drawScopeContent(LcdCanvas& canvas, const LcdModel& model) {
  const std::uint8_t* frame = model.frameMessage.data();
  for (int k = 0; k < kScopeLastColumn; ++k) {
    const int a = scopeSample(frame, k);
    const int b = scopeSample(frame, k + 1);
    if (segmentOutside(a, b)) continue;
    drawLine(canvas, k, clampToTrace(a), k + 1, clampToTrace(b), canvas.trace, false);
  }
  const bool triggered = frame[kScopeTriggerOffset] != 0;
  drawText(canvas, kTriggerTextX, kTriggerTextY, "T'D", kFont5x10, triggered ? canvas.trace : canvas.guide,
           canvas.panel);
}

void drawSpectrumBase(LcdCanvas& canvas, const LcdModel&) {
  fillRect(canvas, 0, kSpectrumFrameTop, kSpectrumLastColumn, kSpectrumFrameBottom, kSpectrumFrameColour, false);
  fillRect(canvas, 0, kSpectrumFrameBottom + 1, kSpectrumLastColumn, kHalfHeight - 1, kBlack, false);
  for (int x : kSpectrumGridLines) {
    drawLine(canvas, x, kSpectrumFrameTop, x, kSpectrumFrameBottom, kSpectrumGridColour, false);
  }
  for (int x : assets::frequency_ticks) {
    drawLine(canvas, x, kSpectrumTickTop, x, kSpectrumFrameBottom, kSpectrumGridColour, false);
  }
  for (const FrequencyLabel& label : kFrequencyLabels) {
    drawText(canvas, label.x, kSpectrumLabelY, label.text, kFont6x8, kSpectrumTextColour, kBlack);
  }
}

void drawSpectrumContent(LcdCanvas& canvas, const LcdModel& model) {
  for (std::size_t row = 0; row < kSpectrumHistoryRows; ++row) {
    const int y = kSpectrumHistoryTop + static_cast<int>(row);
    for (std::size_t column = 0; column < kHistoryColumns; ++column) {
      const std::uint16_t colour = assets::spectrum_palette[model.history[row][column] & kNibbleMask];
      const int x = 2 * static_cast<int>(column);
      putPixel(canvas, x, y, colour, true);
      putPixel(canvas, x + 1, y, colour, true);
    }
  }
  const std::uint8_t* frame = model.frameMessage.data();
  for (int k = 0; k < kSpectrumLastColumn; ++k) {
    drawLine(canvas, k, kSpectrumFrameBottom - spectrumValue(frame, k), k + 1,
             kSpectrumFrameBottom - spectrumValue(frame, k + 1), kSpectrumTextColour, false);
  }
}

}  // namespace pelmora
