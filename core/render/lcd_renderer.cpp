#include "core/render/lcd_renderer.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "core/protocol/byte_order.h"
#include "core/protocol/wire_format.h"
#include "core/render/display_pages.h"
#include "core/render/text.h"

namespace pelmora {
namespace {

// Screen furniture, in half-resolution units.
constexpr int kLastColumn = kHalfWidth - 1;
constexpr int kHeaderLastRow = 19;
constexpr int kPanelFirstRow = 20;
constexpr int kPanelLastRow = kHalfHeight - 1;

constexpr int kSeparatorX = 129;
constexpr int kSeparatorTopRow = 21;
constexpr std::uint16_t kSeparatorColour = 0x4A69;

constexpr int kSideBarLeftX = 132;
constexpr int kSideBarWidth = 12;
constexpr int kSideBarStride = 14;  // left edge of the right bar minus the left's
constexpr int kSideBarTopRow = 32;
constexpr int kSideBarBottomRow = kSideBarTopRow + static_cast<int>(kSideBarRows) - 1;  // 83
constexpr int kSideBarBaseRow = kSideBarBottomRow + 1;                                   // 84
constexpr int kSideBarLevelShift = 6;  // level 0..63 scaled to 52 rows
constexpr int kSideBarMinLevel = 2;    // lower levels light nothing

constexpr int kCounterLeft = 132;
constexpr int kCounterRight = 157;
constexpr int kCounterTop = 21;
constexpr int kCounterBottom = 31;
constexpr int kCounterTextX = 133;
constexpr std::size_t kCounterBufferSize = 20;
constexpr std::uint8_t kAlarmNone = 0;
constexpr std::uint8_t kAlarmOver = 1;  // every other value clips

constexpr int kTitleSecondLineY = 10;

constexpr int kBadgeBarX = 152;
constexpr int kBadgeRows = 10;
constexpr int kBadgeTextX = 153;
constexpr std::uint8_t kBadgeShown = 0;

constexpr std::uint16_t kDebugTextColour = 0xFFE0;
constexpr std::uint16_t kDebugBackground = 0x0000;

constexpr int kVolumeTextX = 32;
constexpr std::size_t kVolumeBufferSize = 24;
constexpr int kVolumeBarCount = 40;
constexpr int kVolumeBarLeft = 18;
constexpr int kVolumeBarPitch = 3;
constexpr int kVolumeBarBaseRow = 70;

// The model validates every message it keeps; the renderer still refuses to
// read past the end of a buffer that is shorter than its layout needs.
bool frameFitsLayout(const std::vector<std::uint8_t>& frame) {
  if (frame.size() < kFrameMinLength) return false;
  const std::uint8_t mode = frame[kFrameModeOffset];
  const std::size_t pageBytes = mode < kModeCount ? kModePayloadLength[mode] : 0;
  if (frame.size() < kFramePayloadOffset + pageBytes) return false;
  if ((frame[kFrameFlagsOffset] & kFlagDebugLines) == 0) return true;
  const std::size_t payloadLength = readU16(&frame[kFramePayloadLengthOffset]);
  return frame.size() >= kFramePayloadOffset + payloadLength + kDebugLinesLength;
}

bool isReady(const LcdModel& model) {
  const auto& state = model.stateMessage;
  const auto& frame = model.frameMessage;
  if (state.size() < kStateLength || !frameFitsLayout(frame)) return false;
  return readU32(&state[kStateSeqOffset]) == readU32(&frame[kFrameStateSeqOffset]);
}

void copyTheme(LcdCanvas& canvas, const std::uint8_t* state) {
  const std::uint8_t* theme = state + kStateThemeOffset;
  canvas.foreground = readU16(theme);
  canvas.header = readU16(theme + 2);
  canvas.panel = readU16(theme + 4);
  canvas.trace = readU16(theme + 6);
  canvas.guide = readU16(theme + 8);
}

void drawBackground(LcdCanvas& canvas) {
  fillRect(canvas, 0, 0, kLastColumn, kHeaderLastRow, canvas.header, false);
  fillRect(canvas, 0, kPanelFirstRow, kLastColumn, kPanelLastRow, canvas.panel, false);
}

void drawBarRow(LcdCanvas& canvas, int side, int y, std::uint16_t colour) {
  const int left = kSideBarLeftX + side * kSideBarStride;
  drawLine(canvas, left, y, left + kSideBarWidth - 1, y, colour, false);
}

std::uint16_t barColour(const std::uint8_t* state, std::size_t tableOffset, int y) {
  return readU16(state + tableOffset + 2 * static_cast<std::size_t>(y - kSideBarTopRow));
}

void drawSideBarBackgrounds(LcdCanvas& canvas, const std::uint8_t* state) {
  for (int y = kSideBarTopRow; y <= kSideBarBottomRow; ++y) {
    const std::uint16_t unlit = barColour(state, kStateUnlitBarColoursOffset, y);
    drawBarRow(canvas, 0, y, unlit);
    drawBarRow(canvas, 1, y, unlit);
  }
  const std::uint16_t base = readU16(state + kStateBarBaseColourOffset);
  drawBarRow(canvas, 0, kSideBarBaseRow, base);
  drawBarRow(canvas, 1, kSideBarBaseRow, base);
  drawLine(canvas, kSeparatorX, kSeparatorTopRow, kSeparatorX, kPanelLastRow, kSeparatorColour, false);
}

void drawSideBars(LcdCanvas& canvas, const std::uint8_t* state, const std::uint8_t* frame) {
  const std::uint8_t levels[2] = {frame[kFrameLeftBarOffset], frame[kFrameRightBarOffset]};
  for (int side = 0; side < 2; ++side) {
    const int level = std::min<int>(levels[side], kMaxSideBarLevel);
    if (level < kSideBarMinLevel) continue;
    const int height = (level * static_cast<int>(kSideBarRows)) >> kSideBarLevelShift;
    for (int y = kSideBarBaseRow - height; y <= kSideBarBottomRow; ++y) {
      drawBarRow(canvas, side, y, barColour(state, kStateLitBarColoursOffset, y));
    }
  }
}

void drawCounterField(LcdCanvas& canvas, const std::uint8_t* frame) {
  const std::uint8_t alarm = frame[kFrameLevelAlarmOffset];
  if (alarm == kAlarmNone) {
    char text[kCounterBufferSize];
    std::snprintf(text, sizeof text, "%02u/%02u", static_cast<unsigned>(frame[kFrameCounter1Offset]),
                  static_cast<unsigned>(frame[kFrameCounter2Offset]));
    drawText(canvas, kCounterTextX, kCounterTop, text, kFont5x10, canvas.foreground, canvas.panel);
    return;
  }
  fillRect(canvas, kCounterLeft, kCounterTop, kCounterRight, kCounterBottom, canvas.foreground, false);
  drawText(canvas, kCounterTextX, kCounterTop, alarm == kAlarmOver ? "OVER!" : "CLIP!", kFont5x10, canvas.panel,
           canvas.foreground);
}

// Lengths come from the device; never let one reach past its field.
std::size_t fieldLength(std::uint8_t length, std::size_t fieldMax) {
  return std::min<std::size_t>(length, fieldMax);
}

void drawTitle(LcdCanvas& canvas, const std::uint8_t* state, const std::uint8_t* frame) {
  if (frame[kFrameLanguageOffset] != 0) {
    drawFontxText(canvas, 0, 0, state + kStateTitle1Offset,
                  fieldLength(state[kStateTitle1LengthOffset], kStateJapaneseTitleMax), canvas.foreground,
                  canvas.header);
    drawFontxText(canvas, 0, kTitleSecondLineY, state + kStateTitle2Offset,
                  fieldLength(state[kStateTitle2LengthOffset], kStateJapaneseTitleMax), canvas.foreground,
                  canvas.header);
    return;
  }
  drawText(canvas, 0, 0, state + kStateAsciiTitleOffset,
           fieldLength(state[kStateAsciiTitleLengthOffset], kStateAsciiTitleMax), kFont8x10, canvas.foreground,
           canvas.header);
}

void drawBadge(LcdCanvas& canvas, const std::uint8_t* frame) {
  const std::uint8_t badge = frame[kFrameBadgeOffset];
  if (badge == kBadgeHidden) return;
  const bool shown = badge == kBadgeShown;
  const std::uint16_t bar = shown ? canvas.foreground : canvas.header;
  for (int y = 0; y < kBadgeRows; ++y) putPixel(canvas, kBadgeBarX, y, bar, false);
  if (shown) {
    drawText(canvas, kBadgeTextX, 0, "U", kFont5x10, canvas.header, canvas.foreground);
  } else {
    drawText(canvas, kBadgeTextX, 0, " ", kFont5x10, canvas.foreground, canvas.header);
  }
}

void drawVolumeScreen(LcdCanvas& canvas, const std::uint8_t* frame) {
  drawBackground(canvas);
  const std::uint8_t volume = frame[kFrameVolumeOffset];
  const int shown = std::min(static_cast<int>(volume), kVolumeBarCount);
  char text[kVolumeBufferSize];
  if (volume == 0) {
    std::snprintf(text, sizeof text, "VOLUME: MUTE");
  } else {
    std::snprintf(text, sizeof text, "VOLUME: %02d", shown);
  }
  drawText(canvas, kVolumeTextX, 0, text, kFont8x10, canvas.foreground, canvas.header);
  for (int i = 0; i < kVolumeBarCount; ++i) {
    const int left = kVolumeBarLeft + kVolumeBarPitch * i;
    fillRect(canvas, left, kVolumeBarBaseRow - i, left + 1, kVolumeBarBaseRow,
             i < shown ? canvas.foreground : canvas.header, false);
  }
}

void drawScreen(LcdCanvas& canvas, const LcdModel& model) {
  const std::uint8_t* state = model.stateMessage.data();
  const std::uint8_t* frame = model.frameMessage.data();
  const std::uint8_t mode = frame[kFrameModeOffset];
  drawBackground(canvas);
  drawPageBase(canvas, model, mode);
  drawSideBarBackgrounds(canvas, state);
  drawPageContent(canvas, model, mode);
  drawSideBars(canvas, state, frame);
  drawCounterField(canvas, frame);
  drawTitle(canvas, state, frame);
  drawBadge(canvas, frame);
}

void drawDebugLines(LcdCanvas& canvas, const std::uint8_t* frame) {
  const std::size_t payloadLength = readU16(frame + kFramePayloadLengthOffset);
  const std::uint8_t* record = frame + kFramePayloadOffset + payloadLength;
  for (std::size_t k = 0; k < kDebugLineCount; ++k, record += kDebugRecordLength) {
    drawText(canvas, record[0], record[1], record + kDebugTextOffset,
             fieldLength(record[kDebugTextLengthOffset], kDebugMaxTextLength), kFont8x10, kDebugTextColour,
             kDebugBackground);
  }
}

}  // namespace

bool renderLcd(LcdCanvas& canvas, const LcdModel& model) {
  if (!isReady(model)) return false;
  const std::uint8_t* frame = model.frameMessage.data();
  copyTheme(canvas, model.stateMessage.data());
  // No clear first: both the screen and the volume screen start with the
  // header and panel bands, which cover every pixel.
  const std::uint8_t flags = frame[kFrameFlagsOffset];
  if (flags & kFlagVolumeScreen) {
    drawVolumeScreen(canvas, frame);
  } else {
    drawScreen(canvas, model);
  }
  if (flags & kFlagDebugLines) drawDebugLines(canvas, frame);
  return true;
}

}  // namespace pelmora
