// Screen composition: readiness, the fixed furniture and what paints over
// what, the volume screen and the debug lines.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "busy_models.h"
#include "compose_fixture.h"
#include "core/protocol/byte_order.h"
#include "core/render/display_pages.h"
#include "core/render/text.h"

namespace pelmora {
namespace {

using namespace pelmora::testing;

constexpr std::uint16_t kSeparator = 0x4A69;
constexpr std::uint16_t kDebugColour = 0xFFE0;

sim::FrameFields plainFrame() {
  sim::FrameFields f;
  f.badge = kBadgeHidden;
  return f;
}

// Full-resolution rectangle of a half-resolution one.
bool halfRegionIs(const Rendered& r, int x0, int y0, int x1, int y1, std::uint16_t colour) {
  return regionIs(r.canvas, 2 * x0, 2 * y0, 2 * x1 + 1, 2 * y1 + 1, colour);
}
bool sameHalfRegion(const LcdCanvas& a, const LcdCanvas& b, int x0, int y0, int x1, int y1) {
  return sameRegion(a, b, 2 * x0, 2 * y0, 2 * x1 + 1, 2 * y1 + 1);
}

TEST(RenderReadiness, UnpairedOrMissingMessagesLeaveTheCanvasUntouched) {
  LcdCanvas canvas = themedCanvas(0x1234);
  canvas.foreground = 0x0101;
  const LcdCanvas before = canvas;

  LcdModel empty;
  EXPECT_FALSE(renderLcd(canvas, empty));

  auto state = testState();
  state.stateSeq = 5;
  auto frame = plainFrame();
  frame.stateSeq = 6;
  EXPECT_FALSE(renderLcd(canvas, makeModel(state, frame)));

  LcdModel noFrame = makeModel(state, frame);
  noFrame.frameMessage.clear();
  EXPECT_FALSE(renderLcd(canvas, noFrame));

  EXPECT_EQ(canvas.pixels, before.pixels);
  EXPECT_EQ(canvas.foreground, before.foreground);

  frame.stateSeq = 5;
  EXPECT_TRUE(renderLcd(canvas, makeModel(state, frame)));
  EXPECT_EQ(canvas.foreground, kForeground);
  EXPECT_EQ(canvas.guide, kGuide);
}

TEST(RenderReadiness, FollowsTheModelsPairingOfFrameAndState) {
  LcdModel model;
  model.reset(1);
  auto state = testState();
  state.stateSeq = 9;
  auto frame = plainFrame();
  frame.stateSeq = 9;
  const auto frameBytes = sim::buildFrame(frame);
  const auto stateBytes = sim::buildState(state);
  LcdCanvas canvas = themedCanvas(0x1234);
  const LcdCanvas before = canvas;

  EXPECT_FALSE(model.apply(static_cast<std::uint8_t>(MessageKind::Frame), frameBytes.data(), frameBytes.size()));
  EXPECT_FALSE(renderLcd(canvas, model));  // the frame waits for its STATE
  EXPECT_EQ(canvas.pixels, before.pixels);

  EXPECT_TRUE(model.apply(static_cast<std::uint8_t>(MessageKind::State), stateBytes.data(), stateBytes.size()));
  EXPECT_TRUE(renderLcd(canvas, model));
  EXPECT_EQ(canvas.pixels, render(makeModel(state, frame)).canvas.pixels);
}

TEST(RenderReadiness, BuffersShorterThanTheirLayoutAreNotRead) {
  auto frame = plainFrame();
  frame.mode = Mode::Channels;
  LcdModel model = makeModel(testState(), frame);
  model.frameMessage.resize(kFramePayloadOffset + 10);  // payload cut short
  LcdCanvas canvas;
  EXPECT_FALSE(renderLcd(canvas, model));

  model = makeModel(testState(), plainFrame());
  model.stateMessage.resize(kStateLength - 1);
  EXPECT_FALSE(renderLcd(canvas, model));

  frame = plainFrame();
  frame.debugLines = {{{0, 0}, "X"}};
  model = makeModel(testState(), frame);
  model.frameMessage.resize(model.frameMessage.size() - 1);  // last debug record cut
  EXPECT_FALSE(renderLcd(canvas, model));
}

TEST(RenderFurniture, BackgroundSeparatorAndSideBarBackgrounds) {
  const Rendered r = render(makeModel(testState(), plainFrame()));
  ASSERT_TRUE(r.drawn);
  EXPECT_TRUE(halfRegionIs(r, 0, 10, 151, 19, kHeader));
  EXPECT_TRUE(halfRegionIs(r, 130, 21, 131, 84, kPanel));
  EXPECT_EQ(r.half(129, 20), c444(kPanel));
  EXPECT_TRUE(halfRegionIs(r, 129, 21, 129, 84, kSeparator));
  EXPECT_TRUE(halfRegionIs(r, 132, 32, 143, 83, kUnlitBar));
  EXPECT_TRUE(halfRegionIs(r, 146, 32, 157, 83, kUnlitBar));
  EXPECT_TRUE(halfRegionIs(r, 144, 32, 145, 84, kPanel));  // gap between the bars
  EXPECT_TRUE(halfRegionIs(r, 132, 84, 143, 84, kBarBase));
  EXPECT_TRUE(halfRegionIs(r, 146, 84, 157, 84, kBarBase));
  EXPECT_TRUE(halfRegionIs(r, 158, 20, 159, 84, kPanel));
}

TEST(RenderFurniture, SideBarHeightsFollowTheLevel) {
  struct Case {
    std::uint8_t level;
    int firstLitRow;  // 84 = nothing lit
  };
  for (const Case c : {Case{0, 84}, Case{1, 84}, Case{2, 83}, Case{32, 58}, Case{63, 33}}) {
    SCOPED_TRACE(static_cast<int>(c.level));
    auto frame = plainFrame();
    frame.leftBar = c.level;
    frame.rightBar = c.level;
    const Rendered r = render(makeModel(testState(), frame));
    for (int y = 32; y <= 83; ++y) {
      const std::uint16_t want = y >= c.firstLitRow ? litBarColour(y) : kUnlitBar;
      ASSERT_TRUE(halfRegionIs(r, 132, y, 143, y, want)) << "left row " << y;
      ASSERT_TRUE(halfRegionIs(r, 146, y, 157, y, want)) << "right row " << y;
    }
    EXPECT_TRUE(halfRegionIs(r, 132, 84, 143, 84, kBarBase));
  }
}

TEST(RenderFurniture, SideBarsAreIndependent) {
  auto frame = plainFrame();
  frame.leftBar = 63;
  frame.rightBar = 0;
  const Rendered r = render(makeModel(testState(), frame));
  EXPECT_EQ(r.half(132, 40), c444(litBarColour(40)));
  EXPECT_EQ(r.half(146, 40), c444(kUnlitBar));
}

TEST(RenderFurniture, OutOfRangeSideBarLevelStaysInsideTheBar) {
  auto frame = plainFrame();
  frame.leftBar = 255;  // never valid; must not reach above the bar's top
  const Rendered r = render(makeModel(testState(), frame));
  EXPECT_EQ(r.half(132, 31), c444(kPanel));
  EXPECT_EQ(r.half(132, 33), c444(litBarColour(33)));
}

TEST(RenderFurniture, CounterShowsBothValues) {
  auto frame = plainFrame();
  frame.counter1 = 7;
  frame.counter2 = 12;
  const Rendered r = render(makeModel(testState(), frame));
  LcdCanvas want = themedCanvas(kPanel);
  drawText(want, 133, 21, "07/12", kFont5x10, kForeground, kPanel);
  EXPECT_TRUE(sameHalfRegion(r.canvas, want, 132, 21, 157, 31));
}

TEST(RenderFurniture, LevelAlarmReplacesTheCounter) {
  auto expectAlarm = [](std::uint8_t alarm, const char* text) {
    SCOPED_TRACE(static_cast<int>(alarm));
    auto frame = plainFrame();
    frame.levelAlarm = alarm;
    const Rendered r = render(makeModel(testState(), frame));
    LcdCanvas want = themedCanvas(kForeground);
    drawText(want, 133, 21, text, kFont5x10, kPanel, kForeground);
    EXPECT_TRUE(sameHalfRegion(r.canvas, want, 132, 21, 157, 31));
  };
  expectAlarm(1, "OVER!");
  expectAlarm(2, "CLIP!");
  expectAlarm(3, "CLIP!");
  expectAlarm(255, "CLIP!");
}

TEST(RenderFurniture, AsciiTitleWrapsAndBadgeCoversItsLastCell) {
  const std::string title = "0123456789ABCDEFGHIJabcdefghijKLMNOPQRST";  // 40 characters
  auto state = testState();
  state.asciiTitle = title;
  LcdCanvas want = themedCanvas(kHeader);
  drawText(want, 0, 0, reinterpret_cast<const std::uint8_t*>(title.data()), title.size(), kFont8x10,
           kForeground, kHeader);

  auto frame = plainFrame();
  frame.badge = kBadgeHidden;
  const Rendered hidden = render(makeModel(state, frame));
  EXPECT_TRUE(sameHalfRegion(hidden.canvas, want, 0, 0, 159, 19));

  frame.badge = 0;
  const Rendered shown = render(makeModel(state, frame));
  EXPECT_TRUE(sameHalfRegion(shown.canvas, want, 0, 0, 151, 19));
  EXPECT_TRUE(sameHalfRegion(shown.canvas, want, 0, 10, 159, 19));
  EXPECT_TRUE(halfRegionIs(shown, 152, 0, 152, 9, kForeground));
  LcdCanvas badge = themedCanvas(kHeader);
  drawText(badge, 153, 0, "U", kFont5x10, kHeader, kForeground);
  EXPECT_TRUE(sameHalfRegion(shown.canvas, badge, 153, 0, 157, 9));

  frame.badge = 1;
  const Rendered blank = render(makeModel(state, frame));
  EXPECT_TRUE(halfRegionIs(blank, 152, 0, 157, 9, kHeader));
  EXPECT_FALSE(sameHalfRegion(blank.canvas, want, 152, 0, 157, 9));
}

TEST(RenderFurniture, JapaneseTitleUsesBothLines) {
  auto state = testState();
  state.title1 = "\x82\xa0\x82\xa2 ABC";
  state.title2 = "\x83\x4e\x83\x8a";
  auto frame = plainFrame();
  frame.language = 1;
  const Rendered r = render(makeModel(state, frame));
  LcdCanvas want = themedCanvas(kHeader);
  drawFontxText(want, 0, 0, reinterpret_cast<const std::uint8_t*>(state.title1.data()), state.title1.size(),
                kForeground, kHeader);
  drawFontxText(want, 0, 10, reinterpret_cast<const std::uint8_t*>(state.title2.data()), state.title2.size(),
                kForeground, kHeader);
  EXPECT_TRUE(sameHalfRegion(r.canvas, want, 0, 0, 159, 19));
}

TEST(RenderVolume, TextAndBarsFollowTheVolume) {
  struct Case {
    std::uint8_t volume;
    const char* text;
    int lit;
  };
  for (const Case c : {Case{0, "VOLUME: MUTE", 0}, Case{5, "VOLUME: 05", 5}, Case{40, "VOLUME: 40", 40},
                       Case{41, "VOLUME: 40", 40}}) {
    SCOPED_TRACE(c.text);
    auto frame = plainFrame();
    frame.flags = kFlagVolumeScreen;
    frame.volume = c.volume;
    frame.leftBar = 63;
    frame.badge = 0;
    const Rendered r = render(makeModel(testState(), frame));
    LcdCanvas want = themedCanvas(kHeader);
    drawText(want, 32, 0, c.text, kFont8x10, kForeground, kHeader);
    EXPECT_TRUE(sameHalfRegion(r.canvas, want, 0, 0, 159, 19));
    for (int i = 0; i < 40; ++i) {
      const std::uint16_t colour = i < c.lit ? kForeground : kHeader;
      ASSERT_TRUE(halfRegionIs(r, 18 + 3 * i, 70 - i, 19 + 3 * i, 70, colour)) << "bar " << i;
      ASSERT_EQ(r.half(18 + 3 * i, 69 - i), c444(kPanel)) << "above bar " << i;
      ASSERT_EQ(r.half(20 + 3 * i, 70), c444(kPanel)) << "gap after bar " << i;
    }
    // Nothing of the normal screen is drawn under it.
    EXPECT_TRUE(halfRegionIs(r, 137, 21, 159, 84, kPanel));
    EXPECT_TRUE(halfRegionIs(r, 0, 71, 159, 84, kPanel));
  }
}

TEST(RenderDebugLines, DrawnOverPageAndOverVolumeScreen) {
  for (const std::uint8_t flags : {std::uint8_t{0}, kFlagVolumeScreen}) {
    SCOPED_TRACE(static_cast<int>(flags));
    auto frame = plainFrame();
    frame.flags = flags;
    frame.badge = 0;
    frame.debugLines = {{{150, 0}, "Z"}, {{0, 40}, "DEBUG 1234"}};
    const Rendered r = render(makeModel(testState(), frame));
    LcdCanvas want = themedCanvas(0);
    drawText(want, 150, 0, "Z", kFont8x10, kDebugColour, 0);
    drawText(want, 0, 40, "DEBUG 1234", kFont8x10, kDebugColour, 0);
    EXPECT_TRUE(sameHalfRegion(r.canvas, want, 150, 0, 157, 9));  // over the badge
    EXPECT_TRUE(sameHalfRegion(r.canvas, want, 0, 40, 79, 49));
  }
}

TEST(RenderDebugLines, EmptyRecordsDrawNothing) {
  auto frame = plainFrame();
  frame.debugLines = {{{0, 40}, ""}};
  const Rendered r = render(makeModel(testState(), frame));
  const Rendered plain = render(makeModel(testState(), plainFrame()));
  EXPECT_EQ(r.canvas.pixels, plain.canvas.pixels);
}

TEST(RenderOrder, SideBarBackgroundsAndSeparatorPaintOverPageBases) {
  for (const Mode mode : {Mode::PianoRoll, Mode::Channels}) {
    auto frame = plainFrame();
    frame.mode = mode;
    const Rendered r = render(makeModel(testState(), frame));
    EXPECT_TRUE(halfRegionIs(r, 129, 21, 129, 84, kSeparator));
    EXPECT_TRUE(halfRegionIs(r, 132, 32, 143, 83, kUnlitBar));
  }
}

TEST(RenderOrder, ModeSevenOrMoreDrawsNoPage) {
  auto frame = plainFrame();
  frame.mode = static_cast<Mode>(7);
  frame.payload.assign(32, 0xFF);
  frame.leftBar = 40;
  const Rendered r = render(makeModel(testState(), frame));
  ASSERT_TRUE(r.drawn);
  EXPECT_TRUE(halfRegionIs(r, 0, 20, 128, 84, kPanel));
  EXPECT_EQ(r.half(132, 83), c444(litBarColour(83)));

  LcdCanvas canvas = themedCanvas(0x1111);
  const LcdCanvas before = canvas;
  const LcdModel model = makeModel(testState(), frame);
  for (std::uint8_t mode : {std::uint8_t{7}, std::uint8_t{200}}) {
    drawPageBase(canvas, model, mode);
    drawPageContent(canvas, model, mode);
  }
  EXPECT_EQ(canvas.pixels, before.pixels);
}

// Eight debug lines, the last one in the bottom-right corner, appended to a
// frame that had none.
void addDebugLines(std::vector<std::uint8_t>& frame) {
  const std::size_t at = frame.size();
  frame.resize(at + kDebugLinesLength, 0);
  for (std::size_t k = 0; k < kDebugLineCount; ++k) {
    std::uint8_t* record = frame.data() + at + k * kDebugRecordLength;
    record[0] = static_cast<std::uint8_t>(k == kDebugLineCount - 1 ? 155 : 4 * k);
    record[1] = static_cast<std::uint8_t>(k == kDebugLineCount - 1 ? 80 : 10 * k);
    std::memcpy(record + kDebugTextOffset, "DEBUG", 5);
    record[kDebugTextLengthOffset] = 5;
  }
  frame[kFrameFlagsOffset] |= kFlagDebugLines;
}

// The canvas is not cleared before a render, so every screen must paint
// every pixel: what was left on the canvas must never show through.
TEST(RenderOrder, EveryScreenCoversWhatTheCanvasHeldBefore) {
  std::vector<gallery::Scene> scenes = gallery::pageScenes();
  const std::size_t plain = scenes.size();
  for (std::size_t i = 0; i < plain; ++i) {
    gallery::Scene withLines{scenes[i].name + " with debug lines", scenes[i].model};
    addDebugLines(withLines.model.frameMessage);
    scenes.push_back(std::move(withLines));
  }
  gallery::Scene noPage{"mode 7", scenes.front().model};
  noPage.model.frameMessage[kFrameModeOffset] = 7;
  scenes.push_back(std::move(noPage));

  auto overBlack = std::make_unique<LcdCanvas>();
  auto overWhite = std::make_unique<LcdCanvas>();
  for (const gallery::Scene& scene : scenes) {
    SCOPED_TRACE(scene.name);
    overBlack->pixels.fill(0);
    overWhite->pixels.fill(0x0FFF);
    ASSERT_TRUE(renderLcd(*overBlack, scene.model));
    ASSERT_TRUE(renderLcd(*overWhite, scene.model));
    EXPECT_EQ(overBlack->pixels, overWhite->pixels);
  }
}

}  // namespace
}  // namespace pelmora
