#include "core/render/note_pages.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "core/assets/page_tables.h"
#include "core/protocol/wire_format.h"
#include "core/render/text.h"

namespace pelmora {
namespace {

constexpr int kNotes = 128;
constexpr int kOctaves = 11;  // 132 keys; the keys past note 127 are covered later
constexpr std::uint16_t kBlack = 0x0000;
constexpr std::uint8_t kNibbleMask = 0x0F;
constexpr int kNibbleBits = 4;

bool noteBitSet(const std::uint8_t* bits, int note) {
  return ((bits[note / 8] >> (note % 8)) & 1U) != 0;
}

template <std::size_t N>
std::uint16_t paletteColour(const std::array<std::uint16_t, N>& palette, std::uint8_t value) {
  return value < N ? palette[value] : kBlack;
}

void drawKeyStrip(LcdCanvas& canvas, const assets::KeyStrip& strip, int left, int top, bool fullRes) {
  for (int octave = 0; octave < kOctaves; ++octave) {
    for (int row = 0; row < assets::kKeyStripRows; ++row) {
      for (int key = 0; key < assets::kSemitones; ++key) {
        putPixel(canvas, left + assets::kSemitones * octave + key, top + row, strip[row][key], fullRes);
      }
    }
  }
}

// ---- Piano roll (half resolution unless said otherwise) ----
constexpr int kRollLastColumn = 128;
constexpr int kRollTopRow = 20;
constexpr int kRollBottomRow = kHalfHeight - 1;
constexpr int kRollKeysTop = 21;
constexpr int kRollPanelLeft = 129;
constexpr int kRollHistoryTop = 48;  // full resolution
constexpr std::size_t kRollHeldNotesOffset = kFramePayloadOffset + kPianoRollSampleLength;
constexpr int kRollMarkEnd = 23;  // C and B
constexpr std::uint16_t kHeldNoteColour = 0xF800;

int markEnd(int note) {
  const int semitone = note % assets::kSemitones;
  if (semitone == 0 || semitone == assets::kSemitones - 1) return kRollMarkEnd;
  return assets::key_mark_ends[static_cast<std::size_t>(semitone - 1)];
}

// ---- Channels (full resolution unless said otherwise) ----
constexpr int kChannelTop = 42;
constexpr int kChannelPitch = 8;
constexpr int kChannelBarsTop = 4;   // row of the bars within a channel row
constexpr int kChannelRowLast = 6;   // last drawn row within a channel row
constexpr int kChannelAreaLeft = 128;
constexpr int kChannelAreaRight = 256;
constexpr int kChannelAreaBottom = kCanvasHeight - 1;
constexpr int kChannelGridFirstX = 159;
constexpr int kChannelSlotWidth = 12;
constexpr int kChannelGridTicks = 9;
constexpr int kChannelLabelRight = 127;
constexpr int kChannelLabelX = 1;
constexpr int kChannelNameX = 25;
constexpr int kChannelLevelLeft = 129;
constexpr int kChannelParamsLeft = 160;
constexpr int kChannelParamCount = 8;
constexpr int kChannelCentredOffset = 5;  // bars 2 and 3 grow both ways from here
constexpr int kChannelPanelLeft = 128;     // half resolution
constexpr int kChannelPanelTop = 20;       // half resolution
constexpr std::size_t kChannelLabelSize = 16;
constexpr std::size_t kChannelLevelsOffset = kFramePayloadOffset;
constexpr std::size_t kChannelNotesOffset = kFramePayloadOffset + kChannelCount;
constexpr std::size_t kChannelNoteBytes = kNotes / 8;
constexpr std::size_t kChannelParamBytes = kChannelParamCount / 2;
constexpr std::uint16_t kChannelGridColour = 0x73AE;
constexpr std::uint16_t kChannelNoteColour = 0xFFBB;
constexpr std::uint16_t kChannelLevelColour = 0x07E0;

int channelTop(std::size_t channel) { return kChannelTop + kChannelPitch * static_cast<int>(channel); }

void drawChannelGrid(LcdCanvas& canvas, int y) {
  const int last = kChannelAreaRight - 1;
  drawLine(canvas, kChannelAreaLeft, y + 3, last, y + 3, kChannelGridColour, true);
  drawLine(canvas, kChannelAreaLeft, y + 7, last, y + 7, kChannelGridColour, true);
  drawLine(canvas, kChannelAreaLeft, y + kChannelBarsTop, kChannelAreaLeft, y + kChannelRowLast, kChannelGridColour,
           true);
  for (int i = 0; i < kChannelGridTicks; ++i) {
    const int x = kChannelGridFirstX + kChannelSlotWidth * i;
    drawLine(canvas, x, y + kChannelBarsTop, x, y + kChannelRowLast, kChannelGridColour, true);
  }
}

void drawChannelLabel(LcdCanvas& canvas, std::size_t channel, int y) {
  fillRect(canvas, 0, y, kChannelLabelRight, y + kChannelRowLast, canvas.header, true);
  char label[kChannelLabelSize];
  std::snprintf(label, sizeof label, "CH%02d", static_cast<int>(channel) + 1);
  drawText(canvas, kChannelLabelX, y, label, kFont6x8, canvas.foreground, canvas.header);
}

void drawChannelName(LcdCanvas& canvas, const std::uint8_t* state, std::size_t channel, int y) {
  const std::uint8_t* record = state + kStateChannelNamesOffset + kChannelNameRecordLength * channel;
  drawText(canvas, kChannelNameX, y, record + 1, std::min<std::size_t>(record[0], kChannelNameMax), kFont6x8,
           canvas.foreground, canvas.header);
}

void drawChannelNotes(LcdCanvas& canvas, const std::uint8_t* frame, std::size_t channel, int y) {
  const std::uint8_t* bits = frame + kChannelNotesOffset + kChannelNoteBytes * channel;
  for (int note = 0; note < kNotes; ++note) {
    if (noteBitSet(bits, note)) {
      drawLine(canvas, kChannelAreaLeft + note, y, kChannelAreaLeft + note, y + 2, kChannelNoteColour, true);
    }
  }
}

int parameterValue(const std::uint8_t* params, int k) {
  const std::uint8_t packed = params[k / 2];
  return (k % 2 == 0) ? (packed & kNibbleMask) : (packed >> kNibbleBits);
}

void drawChannelBars(LcdCanvas& canvas, const std::uint8_t* frame, std::size_t channel, int y) {
  const int top = y + kChannelBarsTop;
  const int bottom = y + kChannelRowLast;
  const int level = frame[kChannelLevelsOffset + channel];
  fillRect(canvas, kChannelLevelLeft, top, kChannelLevelLeft + level, bottom, kChannelLevelColour, true);
  const std::uint8_t* params =
      frame + kFramePayloadOffset + kChannelParamsOffset + kChannelParamBytes * channel;
  for (int k = 0; k < kChannelParamCount; ++k) {
    const int slot = kChannelParamsLeft + kChannelSlotWidth * k;
    const bool centred = k == 2 || k == 3;
    const int from = centred ? slot + kChannelCentredOffset : slot;
    fillRect(canvas, from, top, slot + parameterValue(params, k), bottom,
             assets::parameter_colors[static_cast<std::size_t>(k)], true);
  }
}

}  // namespace

void drawPianoRollBase(LcdCanvas& canvas, const LcdModel&) {
  fillRect(canvas, 0, kRollTopRow, kRollLastColumn, kRollBottomRow, kBlack, false);
  drawKeyStrip(canvas, assets::keyboard_strip, 0, kRollKeysTop, false);
  fillRect(canvas, kRollPanelLeft, kRollTopRow, kHalfWidth - 1, kRollBottomRow, canvas.panel, false);
}

void drawPianoRollContent(LcdCanvas& canvas, const LcdModel& model) {
  for (std::size_t row = 0; row < kPianoRollHistoryRows; ++row) {
    const int y = kRollHistoryTop + static_cast<int>(row);
    for (std::size_t column = 0; column < kHistoryColumns; ++column) {
      const std::uint16_t colour = paletteColour(assets::history_palette, model.history[row][column]);
      const int x = 2 * static_cast<int>(column);
      putPixel(canvas, x, y, colour, true);
      putPixel(canvas, x + 1, y, colour, true);
    }
  }
  const std::uint8_t* held = model.frameMessage.data() + kRollHeldNotesOffset;
  for (int note = 0; note < kNotes; ++note) {
    if (noteBitSet(held, note)) drawLine(canvas, note, kRollKeysTop, note, markEnd(note), kHeldNoteColour, false);
  }
}

void drawChannelsBase(LcdCanvas& canvas, const LcdModel&) {
  fillRect(canvas, kChannelAreaLeft, kChannelTop, kChannelAreaRight, kChannelAreaBottom, kBlack, true);
  for (std::size_t channel = 0; channel < kChannelCount; ++channel) {
    const int y = channelTop(channel);
    drawKeyStrip(canvas, assets::channel_keyboard_strip, kChannelAreaLeft, y, true);
    drawChannelGrid(canvas, y);
    drawChannelLabel(canvas, channel, y);
  }
  fillRect(canvas, kChannelPanelLeft, kChannelPanelTop, kHalfWidth - 1, kHalfHeight - 1, canvas.panel, false);
}

void drawChannelsContent(LcdCanvas& canvas, const LcdModel& model) {
  const std::uint8_t* state = model.stateMessage.data();
  const std::uint8_t* frame = model.frameMessage.data();
  for (std::size_t channel = 0; channel < kChannelCount; ++channel) {
    const int y = channelTop(channel);
    drawChannelName(canvas, state, channel, y);
    drawChannelNotes(canvas, frame, channel, y);
    drawChannelBars(canvas, frame, channel, y);
  }
}

}  // namespace pelmora
