// The seven display pages: geometry, tables and the rules that shape them.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "compose_fixture.h"
#include "core/assets/face_images.h"
#include "core/assets/page_tables.h"
#include "core/protocol/byte_order.h"
#include "core/render/text.h"

namespace pelmora {
namespace {

using namespace pelmora::testing;

sim::FrameFields pageFrame(Mode mode, std::vector<std::uint8_t> payload = {}) {
  sim::FrameFields f;
  f.mode = mode;
  f.payload = std::move(payload);
  return f;
}

Rendered renderPage(const sim::FrameFields& frame, const sim::StateFields& state = testState()) {
  const Rendered r = render(makeModel(state, frame));
  EXPECT_TRUE(r.drawn);
  return r;
}

// ---- meter grid pages ----------------------------------------------------

// Colour of the lit part of a meter cell (its top-left pixel).
std::uint16_t cell(const Rendered& r, int column, int level, bool narrow) {
  const int x = narrow ? 128 + 8 * column : 16 * column;
  return r.at(x, 163 - 8 * level);
}

int litCells(const Rendered& r, bool narrow) {
  int lit = 0;
  for (int c = 0; c < 16; ++c) {
    for (int l = 0; l < 16; ++l) lit += cell(r, c, l, narrow) == c444(kForeground);
  }
  return lit;
}

TEST(MetersPage, ZeroLevelsLightTheBottomCellOfEveryColumn) {
  const Rendered r = renderPage(pageFrame(Mode::Meters));
  for (int c = 0; c < 16; ++c) {
    EXPECT_EQ(cell(r, c, 0, false), c444(kForeground));
    EXPECT_EQ(cell(r, c, 1, false), c444(kHeader));
  }
  EXPECT_EQ(litCells(r, false), 16);
  // the 2-pixel gap of a cell is in the panel colour
  EXPECT_EQ(r.at(14, 163), c444(kPanel));
}

TEST(MetersPage, LevelsFillUpwardsAndPeaksStandAlone) {
  std::vector<std::uint8_t> payload(32, 0);
  payload[3] = 5;       // level of channel 3
  payload[16 + 3] = 9;  // its peak
  payload[16 + 7] = 15;
  const Rendered r = renderPage(pageFrame(Mode::Meters, payload));
  for (int l = 0; l <= 5; ++l) EXPECT_EQ(cell(r, 3, l, false), c444(kForeground)) << l;
  for (int l = 6; l <= 8; ++l) EXPECT_EQ(cell(r, 3, l, false), c444(kHeader)) << l;
  EXPECT_EQ(cell(r, 3, 9, false), c444(kForeground));
  EXPECT_EQ(cell(r, 7, 15, false), c444(kForeground));
  EXPECT_EQ(litCells(r, false), 16 + 5 + 1 + 1);
}

TEST(MetersPage, RowMasksReplaceTheLevels) {
  auto frame = pageFrame(Mode::Meters, std::vector<std::uint8_t>(32, 9));
  frame.flags = kFlagRowMasks;
  writeU16(&frame.rowMasks[0], 0x8001);  // row 0: top level, outer columns
  writeU16(&frame.rowMasks[30], 0x0002); // row 15: bottom level, column 14
  const Rendered r = renderPage(frame);
  EXPECT_EQ(cell(r, 0, 15, false), c444(kForeground));
  EXPECT_EQ(cell(r, 15, 15, false), c444(kForeground));
  EXPECT_EQ(cell(r, 14, 0, false), c444(kForeground));
  EXPECT_EQ(litCells(r, false), 3);
}

TEST(MetersPage, FaceAndPictureUseNarrowCells) {
  for (const Mode mode : {Mode::Face, Mode::Picture}) {
    std::vector<std::uint8_t> payload(32, 0);
    payload[15] = 15;
    const Rendered r = renderPage(pageFrame(mode, payload));
    EXPECT_EQ(cell(r, 15, 15, true), c444(kForeground));
    EXPECT_EQ(r.at(253, 43), c444(kForeground));
    EXPECT_EQ(r.at(254, 43), c444(kPanel));
    EXPECT_EQ(litCells(r, true), 16 + 15);
  }
}

// ---- face and picture ------------------------------------------------------

// True when the image lies on the canvas at half-resolution (left, top).
bool showsImage(const Rendered& r, const std::uint16_t* image, int w, int h, int left, int top) {
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const std::uint16_t want = c444(image[y * w + x]);
      const int px = 2 * (left + x);
      const int py = 2 * (top + y);
      if (r.at(px, py) != want || r.at(px + 1, py + 1) != want) return false;
    }
  }
  return true;
}

TEST(FacePage, IndexBytesPickTheirImages) {
  struct Case {
    std::uint8_t eye, brow, mouth;
    const std::uint16_t *eyeImage, *browImage, *mouthImage;
  };
  const Case cases[] = {
      {0, 0, 0, assets::eye_1_blink, assets::eyebrow_1, assets::mouth_default},
      {6, 3, 8, assets::eye_7, assets::eyebrow_4, assets::mouth_mid},
      {3, 2, 6, assets::eye_4, assets::eyebrow_3, assets::mouth_peko},
  };
  for (const Case& c : cases) {
    auto frame = pageFrame(Mode::Face);
    frame.eye = c.eye;
    frame.eyebrow = c.brow;
    frame.mouth = c.mouth;
    const Rendered r = renderPage(frame);
    EXPECT_TRUE(showsImage(r, c.browImage, 34, 6, 15, 50));
    EXPECT_TRUE(showsImage(r, c.eyeImage, 34, 13, 15, 56));
    EXPECT_TRUE(showsImage(r, c.mouthImage, 12, 9, 26, 73));
    // head rows above the eyebrows and below the mouth come from the base
    EXPECT_EQ(r.half(0, 21), c444(assets::face_base[0]));
    EXPECT_EQ(r.half(63, 84), c444(assets::face_base[63 * 64 + 63]));
    EXPECT_EQ(r.half(31, 49), c444(assets::face_base[28 * 64 + 31]));
  }
}

TEST(FacePage, OutOfTableIndexLeavesTheHeadShowing) {
  auto frame = pageFrame(Mode::Face);
  frame.eye = 200;
  const Rendered r = renderPage(frame);
  for (int y = 0; y < 13; ++y) {
    for (int x = 0; x < 34; ++x) {
      ASSERT_EQ(r.half(15 + x, 56 + y), c444(assets::face_base[(35 + y) * 64 + 15 + x]));
    }
  }
}

TEST(PicturePage, DrawsTheModelsImage) {
  LcdModel model = makeModel(testState(), pageFrame(Mode::Picture));
  for (std::size_t i = 0; i < model.image.size(); ++i) model.image[i] = static_cast<std::uint16_t>(i * 37);
  LcdCanvas canvas;
  ASSERT_TRUE(renderLcd(canvas, model));
  Rendered r{canvas, true};
  EXPECT_TRUE(showsImage(r, model.image.data(), 64, 64, 0, 21));
}

// ---- piano roll ---------------------------------------------------------------

std::vector<std::uint8_t> heldNotes(std::initializer_list<int> notes) {
  std::vector<std::uint8_t> payload(144, 0);
  for (int n : notes) payload[128 + n / 8] |= static_cast<std::uint8_t>(1 << (n % 8));
  return payload;
}

TEST(PianoRollPage, HeldNoteMarksFollowTheKeyShapes) {
  const Rendered r = renderPage(pageFrame(Mode::PianoRoll, heldNotes({60, 61, 71, 0, 127})));
  const std::uint16_t red = c444(0xF800);
  auto markRows = [&](int note) {
    int rows = 0;
    for (int y = 21; y <= 23; ++y) rows += r.half(note, y) == red;
    return rows;
  };
  EXPECT_EQ(markRows(60), 3);
  EXPECT_EQ(markRows(61), 2);
  EXPECT_EQ(r.half(61, 23), c444(assets::keyboard_strip[2][1]));
  EXPECT_EQ(markRows(71), 3);
  EXPECT_EQ(markRows(0), 3);
  EXPECT_EQ(markRows(127), 3);
  EXPECT_EQ(r.half(60, 24), c444(0));  // marks stop at the strip
  EXPECT_EQ(markRows(62), 0);
}

TEST(PianoRollPage, KeyboardStripRepeatsEveryOctaveUpToTheSeparator) {
  const Rendered r = renderPage(pageFrame(Mode::PianoRoll));
  for (int octave = 0; octave < 11; ++octave) {
    for (int key = 0; key < 12; ++key) {
      const int x = 12 * octave + key;
      if (x > 128) continue;
      for (int row = 0; row < 3; ++row) {
        ASSERT_EQ(r.half(x, 21 + row), c444(assets::keyboard_strip[static_cast<std::size_t>(row)]
                                                                  [static_cast<std::size_t>(key)]));
      }
    }
  }
  EXPECT_EQ(r.half(128, 20), c444(0));
  EXPECT_EQ(r.half(130, 22), c444(kPanel));
}

TEST(PianoRollPage, HistoryRowsRunDownFromTheStrip) {
  LcdModel model = makeModel(testState(), pageFrame(Mode::PianoRoll));
  model.history[0][0] = 3;
  model.history[0][127] = 17;
  model.history[121][5] = 13;
  model.history[60][64] = 200;  // never a valid cell; drawn as empty
  LcdCanvas canvas;
  ASSERT_TRUE(renderLcd(canvas, model));
  const Rendered r{canvas, true};
  EXPECT_EQ(r.at(0, 48), c444(assets::history_palette[3]));
  EXPECT_EQ(r.at(1, 48), c444(assets::history_palette[3]));
  EXPECT_EQ(r.at(254, 48), c444(assets::history_palette[17]));
  EXPECT_EQ(r.at(255, 48), c444(assets::history_palette[17]));
  EXPECT_EQ(r.at(10, 169), c444(assets::history_palette[13]));
  EXPECT_EQ(r.at(11, 169), c444(assets::history_palette[13]));
  EXPECT_EQ(r.at(2, 48), c444(0));
  EXPECT_EQ(r.at(128, 108), c444(0));
}

// ---- scope ------------------------------------------------------------------------

std::vector<std::uint8_t> scopePayload(std::uint8_t trigger, int fill, std::initializer_list<std::pair<int, int>> at = {}) {
  std::vector<std::uint8_t> payload(257, 0);
  payload[0] = trigger;
  for (int k = 0; k < 128; ++k) writeU16(&payload[1 + 2 * k], static_cast<std::uint16_t>(fill));
  for (auto [k, v] : at) writeU16(&payload[1 + 2 * static_cast<std::size_t>(k)], static_cast<std::uint16_t>(v));
  return payload;
}

int traceUnits(const Rendered& r) {
  int n = 0;
  for (int y = 0; y < 85; ++y) {
    for (int x = 0; x < 112; ++x) n += r.half(x, y) == c444(kTrace);
  }
  return n;
}

TEST(ScopePage, SegmentsWhollyOutsideTheAreaAreSkipped) {
  const std::pair<int, int> sameSide[] = {{10, 12}, {20, -30}, {85, 90}, {30000, 85}, {-5, -3}};
  for (const auto& [fill, other] : sameSide) {
    SCOPED_TRACE(fill);
    const Rendered r = renderPage(pageFrame(Mode::Scope, scopePayload(0, fill, {{40, other}})));
    EXPECT_EQ(traceUnits(r), 0);
    EXPECT_EQ(r.half(0, 53), c444(kGuide));
    EXPECT_EQ(r.half(127, 53), c444(kGuide));
  }
}

TEST(ScopePage, CrossingSegmentsAreClampedToTheArea) {
  const Rendered up = renderPage(pageFrame(Mode::Scope, scopePayload(0, 10, {{64, 50}})));
  EXPECT_EQ(up.half(63, 21), c444(kTrace));
  EXPECT_EQ(up.half(64, 50), c444(kTrace));
  EXPECT_EQ(up.half(65, 21), c444(kTrace));
  EXPECT_EQ(up.half(64, 51), c444(kPanel));
  EXPECT_EQ(up.half(63, 20), c444(kPanel));

  const Rendered wide = renderPage(pageFrame(Mode::Scope, scopePayload(0, -5, {{64, 200}})));
  EXPECT_EQ(wide.half(63, 21), c444(kTrace));
  EXPECT_EQ(wide.half(64, 84), c444(kTrace));
  for (int y = 0; y <= 20; ++y) EXPECT_NE(wide.half(63, y), c444(kTrace));
  for (int y = 0; y < 85; ++y) {
    EXPECT_NE(wide.half(62, y), c444(kTrace));
    EXPECT_NE(wide.half(66, y), c444(kTrace));
  }
}

TEST(ScopePage, SamplesAreSigned) {
  const Rendered r = renderPage(pageFrame(Mode::Scope, scopePayload(0, 53, {{10, -1}})));
  EXPECT_EQ(r.half(10, 21), c444(kTrace));
  EXPECT_EQ(r.half(10, 84), c444(kPanel));
}

TEST(ScopePage, TriggerMarkColourFollowsTheFlag) {
  for (const std::uint8_t trigger : {std::uint8_t{0}, std::uint8_t{1}}) {
    const Rendered r = renderPage(pageFrame(Mode::Scope, scopePayload(trigger, 53)));
    LcdCanvas want = themedCanvas(kPanel);
    drawText(want, 112, 21, "T'D", kFont5x10, trigger ? kTrace : kGuide, kPanel);
    EXPECT_TRUE(sameRegion(r.canvas, want, 224, 42, 253, 61));
  }
}

// ---- channels ----------------------------------------------------------------------

struct ChannelPayload {
  std::vector<std::uint8_t> bytes = std::vector<std::uint8_t>(336, 0);
  void level(int ch, int v) { bytes[static_cast<std::size_t>(ch)] = static_cast<std::uint8_t>(v); }
  void note(int ch, int n) {
    bytes[16 + 16 * static_cast<std::size_t>(ch) + static_cast<std::size_t>(n / 8)] |=
        static_cast<std::uint8_t>(1 << (n % 8));
  }
  void param(int ch, int k, int v) {
    std::uint8_t& b = bytes[272 + 4 * static_cast<std::size_t>(ch) + static_cast<std::size_t>(k / 2)];
    b = static_cast<std::uint8_t>(k % 2 == 0 ? (b & 0xF0) | v : (b & 0x0F) | (v << 4));
  }
};

// Columns lit in a parameter row of channel `ch`, in the given colour.
std::vector<int> barColumns(const Rendered& r, int ch, std::uint16_t colour, int from, int to) {
  std::vector<int> xs;
  const int y = 42 + 8 * ch + 4;
  for (int x = from; x <= to; ++x) {
    if (r.at(x, y) == c444(colour) && r.at(x, y + 2) == c444(colour)) xs.push_back(x);
  }
  return xs;
}

std::vector<int> columns(int from, int to) {
  std::vector<int> xs;
  for (int x = from; x <= to; ++x) xs.push_back(x);
  return xs;
}

TEST(ChannelsPage, ParameterBarsGrowFromTheirSlots) {
  ChannelPayload p;
  p.param(0, 0, 0);   // one column
  p.param(0, 1, 10);  // full slot
  p.param(0, 2, 0);   // grows left from the sixth column
  p.param(0, 3, 10);  // grows right from it
  p.param(15, 4, 3);
  const Rendered r = renderPage(pageFrame(Mode::Channels, p.bytes));
  const auto& colours = assets::parameter_colors;
  EXPECT_EQ(barColumns(r, 0, colours[0], 156, 170), columns(160, 160));
  EXPECT_EQ(barColumns(r, 0, colours[1], 171, 183), columns(172, 182));
  EXPECT_EQ(barColumns(r, 0, colours[2], 183, 195), columns(184, 189));
  EXPECT_EQ(barColumns(r, 0, colours[3], 195, 207), columns(201, 206));
  EXPECT_EQ(barColumns(r, 15, colours[4], 207, 219), columns(208, 211));
}

TEST(ChannelsPage, LevelBarNotesAndGrid) {
  ChannelPayload p;
  p.level(2, 30);
  p.note(3, 5);
  p.note(3, 127);
  const Rendered r = renderPage(pageFrame(Mode::Channels, p.bytes));
  EXPECT_EQ(barColumns(r, 0, 0x07E0, 128, 158), columns(129, 129));  // level 0 still one column
  EXPECT_EQ(barColumns(r, 2, 0x07E0, 128, 158), columns(129, 158));
  EXPECT_EQ(r.at(159, 42 + 16 + 4), c444(0x07E0));  // a full bar reaches its grid line
  const int y3 = 42 + 24;
  for (int dy = 0; dy <= 2; ++dy) {
    EXPECT_EQ(r.at(133, y3 + dy), c444(0xFFBB));
    EXPECT_EQ(r.at(255, y3 + dy), c444(0xFFBB));
  }
  EXPECT_EQ(r.at(133, y3 + 3), c444(0x73AE));
  EXPECT_EQ(r.at(134, y3), c444(assets::channel_keyboard_strip[0][6]));
  for (int x = 159; x <= 255; x += 12) EXPECT_EQ(r.at(x, 42 + 5), c444(0x73AE)) << x;
  EXPECT_EQ(r.at(128, 42 + 7), c444(0x73AE));
}

TEST(ChannelsPage, LabelsAndNames) {
  auto state = testState();
  state.channelNames[0] = "Grand Piano";
  state.channelNames[15] = "ABCDEFGHIJKLMNOPQ";  // the full 17 bytes
  const Rendered r = renderPage(pageFrame(Mode::Channels), state);
  LcdCanvas want = themedCanvas(kHeader);
  drawText(want, 1, 42, "CH01", kFont6x8, kForeground, kHeader);
  drawText(want, 25, 42, "Grand Piano", kFont6x8, kForeground, kHeader);
  drawText(want, 1, 162, "CH16", kFont6x8, kForeground, kHeader);
  drawText(want, 25, 162, "ABCDEFGHIJKLMNOPQ", kFont6x8, kForeground, kHeader);
  EXPECT_TRUE(sameRegion(r.canvas, want, 0, 42, 127, 48));
  EXPECT_TRUE(sameRegion(r.canvas, want, 0, 162, 127, 168));
  EXPECT_EQ(r.at(0, 49), c444(kPanel));  // the row gap shows the panel
}

// ---- spectrum ---------------------------------------------------------------------

std::vector<std::uint8_t> spectrumPayload(std::uint8_t even, std::uint8_t odd) {
  return std::vector<std::uint8_t>(64, static_cast<std::uint8_t>(even | (odd << 4)));
}

TEST(SpectrumPage, CurveRowsFollowTheValues) {
  const std::uint16_t curve = c444(0xFEA0);
  const Rendered top = renderPage(pageFrame(Mode::Spectrum, spectrumPayload(15, 15)));
  for (int k = 0; k < 128; ++k) ASSERT_EQ(top.half(k, 22), curve) << k;
  const Rendered bottom = renderPage(pageFrame(Mode::Spectrum, spectrumPayload(0, 0)));
  for (int k = 0; k < 128; ++k) ASSERT_EQ(bottom.half(k, 37), curve) << k;
  EXPECT_NE(bottom.half(5, 36), curve);
  // even values in the low nibble, odd ones in the high nibble
  const Rendered zigzag = renderPage(pageFrame(Mode::Spectrum, spectrumPayload(2, 7)));
  EXPECT_EQ(zigzag.half(0, 35), curve);
  EXPECT_EQ(zigzag.half(1, 30), curve);
}

TEST(SpectrumPage, FrameGridTicksAndHistory) {
  LcdModel model = makeModel(testState(), pageFrame(Mode::Spectrum, spectrumPayload(0, 0)));
  model.history[0][3] = 15;
  model.history[83][127] = 7;
  model.history[84][0] = 15;  // beyond the spectrum's rows: never shown
  LcdCanvas canvas;
  ASSERT_TRUE(renderLcd(canvas, model));
  const Rendered r{canvas, true};
  EXPECT_EQ(r.half(0, 22), c444(0x0330));
  EXPECT_EQ(r.half(2, 22), c444(0x6B28));
  EXPECT_EQ(r.half(111, 30), c444(0x6B28));
  for (int x : assets::frequency_ticks) {
    EXPECT_EQ(r.half(x, 34), c444(0x6B28)) << x;
    EXPECT_EQ(r.half(x, 33), c444(0x0330)) << x;
  }
  EXPECT_EQ(r.half(60, 38), c444(0));
  EXPECT_EQ(r.at(6, 86), c444(assets::spectrum_palette[15]));
  EXPECT_EQ(r.at(7, 86), c444(assets::spectrum_palette[15]));
  EXPECT_EQ(r.at(255, 169), c444(assets::spectrum_palette[7]));
  EXPECT_EQ(r.at(0, 169), c444(0));
  LcdCanvas labels = themedCanvas(0);
  drawText(labels, 0, 77, "100", kFont6x8, 0xFEA0, 0);
  drawText(labels, 108, 77, "1k", kFont6x8, 0xFEA0, 0);
  drawText(labels, 214, 77, "10k", kFont6x8, 0xFEA0, 0);
  EXPECT_TRUE(sameRegion(r.canvas, labels, 0, 77, 255, 83));
}

}  // namespace
}  // namespace pelmora
