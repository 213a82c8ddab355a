#include "core/protocol/lcd_model.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "core/protocol/byte_order.h"
#include "message_support.h"

namespace pelmora {
namespace {

using test::historyFrame;
using test::kFrame;
using test::kImage;
using test::kResponse;
using test::kState;

constexpr std::uint32_t kSession = 1;

bool applyMessage(LcdModel& m, std::uint8_t kind, const std::vector<std::uint8_t>& bytes) {
  return m.apply(kind, bytes.data(), bytes.size());
}

bool applyFrame(LcdModel& m, const sim::FrameFields& f) { return applyMessage(m, kFrame, sim::buildFrame(f)); }

bool applyState(LcdModel& m, std::uint32_t stateSeq) {
  sim::StateFields s;
  s.stateSeq = stateSeq;
  return applyMessage(m, kState, sim::buildState(s));
}

bool applyImageRow(LcdModel& m, std::uint32_t imageId, std::uint8_t row, std::uint32_t rowSeq, std::uint16_t colour) {
  sim::ImageFields img;
  img.imageId = imageId;
  img.rowIndex = row;
  img.rowSeq = rowSeq;
  img.pixels.fill(colour);
  return applyMessage(m, kImage, sim::buildImage(img));
}

sim::FrameFields frame(std::uint32_t frameSeq, std::uint32_t stateSeq = 1) {
  sim::FrameFields f;
  f.frameSeq = frameSeq;
  f.stateSeq = stateSeq;
  return f;
}

std::uint32_t shownFrameSeq(const LcdModel& m) { return readU32(&m.frameMessage[kFrameSeqOffset]); }

class LcdModelTest : public ::testing::Test {
 protected:
  void SetUp() override { model.reset(kSession); }
  LcdModel model;
};

TEST_F(LcdModelTest, AFrameWaitsForTheStateItNames) {
  EXPECT_FALSE(applyFrame(model, frame(10, 5)));
  EXPECT_TRUE(model.pendingFrame.has_value());
  EXPECT_TRUE(model.frameMessage.empty());
  EXPECT_TRUE(applyState(model, 5));
  EXPECT_FALSE(model.pendingFrame);
  EXPECT_EQ(shownFrameSeq(model), 10u);
  EXPECT_EQ(model.stateMessage.size(), kStateLength);

  // A newer frame naming yet another STATE replaces the waiting one.
  EXPECT_FALSE(applyFrame(model, frame(11, 6)));
  EXPECT_FALSE(applyFrame(model, frame(12, 7)));
  EXPECT_FALSE(applyState(model, 6));
  EXPECT_EQ(shownFrameSeq(model), 10u);
  EXPECT_TRUE(applyState(model, 7));
  EXPECT_EQ(shownFrameSeq(model), 12u);

  // The current STATE again shows nothing new; a frame naming it shows at once.
  EXPECT_FALSE(applyState(model, 7));
  EXPECT_TRUE(applyFrame(model, frame(13, 7)));
}

TEST_F(LcdModelTest, FramesAndStatesOnlyMoveForwardAcrossTheWrap) {
  ASSERT_FALSE(applyState(model, 1));
  ASSERT_TRUE(applyFrame(model, frame(0xFFFFFFFE)));
  const auto shown = model.frameMessage;
  EXPECT_FALSE(applyFrame(model, frame(0xFFFFFFFE))) << "repeat";
  EXPECT_FALSE(applyFrame(model, frame(0xFFFFFF00))) << "old";
  EXPECT_EQ(model.frameMessage, shown);
  EXPECT_TRUE(applyFrame(model, frame(0xFFFFFFFF)));
  EXPECT_TRUE(applyFrame(model, frame(0)));
  EXPECT_EQ(model.frameSeq, 0u);


  LcdModel wrapping;
  wrapping.reset(kSession);
  ASSERT_FALSE(applyState(wrapping, 0xFFFFFFFE));
  EXPECT_FALSE(applyState(wrapping, 0xFFFFFFF0));
  EXPECT_EQ(wrapping.stateSeq, 0xFFFFFFFEu);
  EXPECT_FALSE(applyFrame(wrapping, frame(1, 0xFFFFFFF0)));  // waits for a STATE that is gone
  EXPECT_FALSE(applyState(wrapping, 1));                     // newer across the wrap
  EXPECT_EQ(wrapping.stateSeq, 1u);
  EXPECT_TRUE(applyFrame(wrapping, frame(2, 1)));
}

TEST_F(LcdModelTest, OnlyValidMessagesOfTheOpenSessionCount) {
  LcdModel closed;
  closed.reset(0);
  EXPECT_FALSE(applyState(closed, 1));
  EXPECT_FALSE(applyFrame(closed, frame(1)));
  EXPECT_FALSE(closed.stateSeqValid);

  sim::FrameFields other = frame(1);
  other.sessionId = kSession + 1;
  ASSERT_FALSE(applyState(model, 1));
  EXPECT_FALSE(applyFrame(model, other));
  sim::FrameFields invalid = frame(1);
  invalid.counter2 = 0;
  EXPECT_FALSE(applyFrame(model, invalid));
  EXPECT_FALSE(model.frameSeqValid);
  EXPECT_FALSE(applyMessage(model, kResponse, sim::buildAnswer({4, 1, kSession})));
  EXPECT_FALSE(model.apply(kFrame, nullptr, 0));
}

TEST_F(LcdModelTest, PictureIdentityAndRows) {
  sim::FrameFields picture = frame(1);
  picture.mode = Mode::Picture;
  picture.imageId = 50;
  ASSERT_FALSE(applyState(model, 1));
  ASSERT_TRUE(applyFrame(model, picture));

  EXPECT_TRUE(applyImageRow(model, 50, 3, 9, 0x1082));
  EXPECT_EQ(model.image[3 * kPictureSize + 63], 0x1082);
  EXPECT_FALSE(applyImageRow(model, 51, 3, 10, 0x2104)) << "another picture";
  EXPECT_FALSE(applyImageRow(model, 50, 3, 8, 0x2104)) << "older row";
  EXPECT_TRUE(applyImageRow(model, 50, 3, 9, 0x3186)) << "the same row number again";
  EXPECT_EQ(model.image[3 * kPictureSize], 0x3186);

  // A frame of another mode leaves rows stored for a later picture frame.
  sim::FrameFields meters = frame(2);
  meters.imageId = 50;
  ASSERT_TRUE(applyFrame(model, meters));
  EXPECT_FALSE(applyImageRow(model, 50, 4, 1, 0x4208));
  picture.frameSeq = 3;
  ASSERT_TRUE(applyFrame(model, picture));
  EXPECT_EQ(model.image[4 * kPictureSize], 0x4208);

  // Rows do not redraw while the shown frame waits on a newer STATE.
  picture.frameSeq = 4;
  picture.stateSeq = 2;
  EXPECT_FALSE(applyFrame(model, picture));
  ASSERT_FALSE(applyState(model, 3));
  EXPECT_FALSE(applyImageRow(model, 50, 5, 1, 0x4208));

  // A newer picture clears the old one even while its frame waits; an older
  // one is refused outright.
  picture.frameSeq = 5;
  picture.imageId = 60;
  EXPECT_FALSE(applyFrame(model, picture));
  EXPECT_EQ(model.image[4 * kPictureSize], 0);
  EXPECT_FALSE(model.imageRowSeq[3].valid);
  picture.frameSeq = 6;
  picture.imageId = 59;
  EXPECT_FALSE(applyFrame(model, picture));
  EXPECT_EQ(model.frameSeq, 5u);
}

class HistoryTest : public LcdModelTest {
 protected:
  void SetUp() override {
    LcdModelTest::SetUp();
    ASSERT_FALSE(applyState(model, 1));
  }
  // Shows a frame with a history sample whose cells all hold `cell`.
  void sample(Mode mode, std::uint32_t historySeq, std::uint8_t cell) {
    auto f = historyFrame(mode, ++frameSeq, historySeq, cell);
    f.historyId = historyId;
    ASSERT_TRUE(applyFrame(model, f));
  }
  std::vector<std::uint8_t> column(std::size_t c = 0) const {
    std::vector<std::uint8_t> values;
    for (const auto& row : model.history) values.push_back(row[c]);
    return values;
  }
  std::uint32_t frameSeq = 0;
  std::uint32_t historyId = 1;
};

std::vector<std::uint8_t> rows(std::initializer_list<std::uint8_t> head) {
  std::vector<std::uint8_t> v(head);
  v.resize(kHistoryRows, 0);
  return v;
}

TEST_F(HistoryTest, PianoRollScrollsTwoRowsPerSample) {
  sample(Mode::PianoRoll, 100, 1);
  EXPECT_EQ(column(), rows({1, 1}));
  sample(Mode::PianoRoll, 101, 2);
  EXPECT_EQ(column(127), rows({2, 2, 1, 1}));
  sample(Mode::PianoRoll, 103, 3);  // one sample missed: two blank rows
  EXPECT_EQ(column(), rows({3, 3, 0, 0, 2, 2, 1, 1}));
  sample(Mode::PianoRoll, 103, 9);  // old sample: no change
  sample(Mode::PianoRoll, 90, 9);
  EXPECT_EQ(column(), rows({3, 3, 0, 0, 2, 2, 1, 1}));

  sample(Mode::PianoRoll, 163, 4);  // a gap of 60 leaves the newest rows at the bottom
  EXPECT_EQ(column(), rows({4, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                            0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                            0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                            0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                            0, 0, 0, 0, 0, 0, 0, 0, 3, 3}));
  sample(Mode::PianoRoll, 224, 5);  // a gap of 61 clears
  EXPECT_EQ(column(), rows({5, 5}));
}

TEST_F(HistoryTest, SpectrumScrollsOneRowButWritesTwo) {
  sample(Mode::PianoRoll, 1, 1);
  sample(Mode::PianoRoll, 61 - 1 + 1, 2);  // gap 60: the first sample lands in rows 120, 121
  ASSERT_EQ(model.history[121][0], 1);
  sample(Mode::Spectrum, 62, 0x3);
  sample(Mode::Spectrum, 63, 0x5);
  EXPECT_EQ(model.history[2][0], 3);
  EXPECT_EQ(model.history[0][0], 5);
  EXPECT_EQ(model.history[1][0], 5);
  EXPECT_EQ(model.history[121][0], 1) << "rows beyond the spectrum's 84 stay untouched";
  sample(Mode::Spectrum, 63 + 83, 0x6);  // gap 83: the newest row ends in row 83, the last in use
  EXPECT_EQ(model.history[83][0], 5);
  EXPECT_EQ(model.history[84][0], 0);
  EXPECT_EQ(model.history[0][0], 6);
  sample(Mode::Spectrum, 63 + 83 + 84, 0x7);  // gap 84 clears everything
  EXPECT_EQ(column(), rows({7, 7}));

  // Two cells per byte, the even one in the low nibble.
  auto f = historyFrame(Mode::Spectrum, ++frameSeq, 1000, 0);
  f.payload[0] = 0xB4;
  f.payload[63] = 0x1F;
  ASSERT_TRUE(applyFrame(model, f));
  EXPECT_EQ(model.history[0][0], 0x4);
  EXPECT_EQ(model.history[0][1], 0xB);
  EXPECT_EQ(model.history[1][126], 0xF);
  EXPECT_EQ(model.history[1][127], 0x1);
}

TEST_F(HistoryTest, HistoryIdentityAndSampleFlag) {
  sample(Mode::PianoRoll, 5, 4);
  auto noSample = historyFrame(Mode::PianoRoll, ++frameSeq, 6, 9);
  noSample.flags = 0;
  ASSERT_TRUE(applyFrame(model, noSample));
  EXPECT_EQ(column(), rows({4, 4}));

  sim::FrameFields meters = frame(++frameSeq);  // same history, another mode
  ASSERT_TRUE(applyFrame(model, meters));
  EXPECT_EQ(column(), rows({4, 4}));
  meters.frameSeq = ++frameSeq;
  meters.historyId = 2;
  ASSERT_TRUE(applyFrame(model, meters));
  EXPECT_EQ(column(), rows({}));
  EXPECT_FALSE(model.historySeqValid);
  EXPECT_EQ(model.historyId, 2u);

  historyId = 2;
  sample(Mode::PianoRoll, 1, 7);  // after a new identity any number starts the history
  EXPECT_EQ(column(), rows({7, 7}));
}

TEST_F(LcdModelTest, ResetForgetsEverything) {
  ASSERT_FALSE(applyState(model, 9));
  auto f = historyFrame(Mode::PianoRoll, 9, 9, 3);
  f.stateSeq = 9;
  ASSERT_TRUE(applyFrame(model, f));
  ASSERT_FALSE(applyFrame(model, frame(10, 10)));
  model.reset(kSession);
  EXPECT_TRUE(model.frameMessage.empty());
  EXPECT_TRUE(model.stateMessage.empty());
  EXPECT_FALSE(model.pendingFrame);
  EXPECT_FALSE(model.frameSeqValid || model.stateSeqValid || model.imageIdValid || model.historyIdValid ||
               model.historySeqValid);
  EXPECT_EQ(model.history[0][0], 0);
  EXPECT_FALSE(applyState(model, 1));
  EXPECT_TRUE(applyFrame(model, frame(1)));  // any number is accepted again
}

TEST_F(LcdModelTest, DoesNotAllocatePerMessage) {
  std::vector<std::vector<std::uint8_t>> frames;
  std::vector<std::vector<std::uint8_t>> states;
  for (std::uint32_t i = 1; i <= 20; ++i) {
    sim::FrameFields f = historyFrame(Mode::Channels, i, i, 0);
    f.stateSeq = i;
    f.debugLines = {{{}, "x"}};
    frames.push_back(sim::buildFrame(f));
    sim::StateFields s;
    s.stateSeq = i;
    states.push_back(sim::buildState(s));
  }
  // Warm up once, then the same storage must carry every later message.
  model.apply(kFrame, frames[0].data(), frames[0].size());
  model.apply(kState, states[0].data(), states[0].size());
  std::set<const std::uint8_t*> frameStorage;
  std::set<const std::uint8_t*> stateStorage;
  for (std::size_t i = 1; i < frames.size(); ++i) {
    model.apply(kFrame, frames[i].data(), frames[i].size());  // waits for its STATE
    frameStorage.insert(model.pendingFrame->data());
    model.apply(kState, states[i].data(), states[i].size());
    frameStorage.insert(model.frameMessage.data());
    stateStorage.insert(model.stateMessage.data());
  }
  EXPECT_LE(frameStorage.size(), 2u) << "the shown and the waiting frame swap two buffers";
  EXPECT_EQ(stateStorage.size(), 1u);
  EXPECT_EQ(model.frameSeq, 20u);
  EXPECT_EQ(model.frameMessage.size(), frames.back().size());
}

}  // namespace
}  // namespace pelmora
