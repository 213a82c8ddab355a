#include "windows/app/app_state.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <thread>

#include "core/render/status_screen.h"

namespace pelmora::winapp {
namespace {

std::unique_ptr<OutputFrame> statusPicture(std::string_view text) {
  auto frame = std::make_unique<OutputFrame>();
  frame->fill(0);
  drawStatusScreen(*frame, text.data(), text.size(), false);
  return frame;
}

TEST(AppState, StartsAtScaleOneShowingNoDeviceWithNothingPending) {
  auto state = std::make_unique<AppState>();
  drawStartupFrame(*state);
  EXPECT_EQ(state->scale, 1);
  EXPECT_EQ(state->frame, *statusPicture("No Device"));
  const TimerUpdate update = takeTimerUpdate(*state);
  EXPECT_FALSE(update.repaint);
  EXPECT_FALSE(update.retitle);
}

TEST(AppState, EachTickTakesWhatArrivedOnceAndBuildsTheTitle) {
  auto state = std::make_unique<AppState>();
  auto frame = std::make_unique<OutputFrame>();
  frame->fill(0x00123456);
  publishFrame(*state, *frame);
  publishSerial(*state, u"SN-7");

  TimerUpdate update = takeTimerUpdate(*state);
  EXPECT_TRUE(update.repaint);
  EXPECT_TRUE(update.retitle);
  EXPECT_EQ(update.title, u"Pelmora Ver 2026-10-17 Serial:SN-7");
  EXPECT_EQ(state->painted, *frame);

  update = takeTimerUpdate(*state);
  EXPECT_FALSE(update.repaint);
  EXPECT_FALSE(update.retitle);

  // The device went away: the title falls back to the bare program title.
  publishSerial(*state, u"");
  update = takeTimerUpdate(*state);
  EXPECT_FALSE(update.repaint);
  EXPECT_TRUE(update.retitle);
  EXPECT_EQ(update.title, u"Pelmora Ver 2026-10-17");

  // A replay's label follows the serial, a notice follows the label.
  publishReplayLabel(*state, u"\u2014 Replay of a.trace (Linux, 2026-10-17): ended");
  state->notice = u"Saved:C:\\a.png";
  EXPECT_EQ(takeTimerUpdate(*state).title,
            u"Pelmora Ver 2026-10-17 \u2014 Replay of a.trace (Linux, 2026-10-17): ended Saved:C:\\a.png");
}

TEST(AppState, AFailedWorkerLeavesItsScreenOnBlackAndTheBareTitle) {
  auto state = std::make_unique<AppState>();
  auto frame = std::make_unique<OutputFrame>();
  frame->fill(0x00FF0000);
  publishFrame(*state, *frame);
  publishSerial(*state, u"SN-7");
  publishWorkerFailure(*state);

  const TimerUpdate update = takeTimerUpdate(*state);
  EXPECT_TRUE(update.repaint);
  EXPECT_EQ(update.title, u"Pelmora Ver 2026-10-17");
  EXPECT_EQ(state->frame, *statusPicture("Connection Error\nWorker Failed"));
}

// One message however many frames come before the window handles it; a
// frame is taken once, so it is painted once.
TEST(AppState, FramesPostOneMessageUntilTheWindowTakesTheNewest) {
  auto state = std::make_unique<AppState>();
  auto frame = std::make_unique<OutputFrame>();
  frame->fill(1);
  EXPECT_TRUE(publishFrame(*state, *frame));
  frame->fill(2);
  EXPECT_FALSE(publishFrame(*state, *frame)) << "a message is pending";
  EXPECT_TRUE(takeTimerUpdate(*state).repaint) << "the timer took the frame first";
  EXPECT_EQ(state->painted, *frame);
  EXPECT_FALSE(publishFrame(*state, *frame)) << "the message is still pending";
  EXPECT_TRUE(takePostedFrame(*state));
  EXPECT_FALSE(takePostedFrame(*state)) << "nothing new: no second paint";
  EXPECT_TRUE(publishWorkerFailure(*state)) << "the next frame posts again";
}

// The painter must never see half of one frame and half of the next.
TEST(AppState, PaintingCopiesAreNeverTorn) {
  auto state = std::make_unique<AppState>();
  std::thread worker([&state] {
    auto frame = std::make_unique<OutputFrame>();
    for (std::uint32_t n = 1; n <= 300; ++n) {
      frame->fill(n);
      publishFrame(*state, *frame);
    }
  });
  for (int i = 0; i < 300; ++i) {
    takePostedFrame(*state);
    const std::uint32_t first = state->painted.front();
    for (const std::uint32_t pixel : state->painted) {
      if (pixel != first) FAIL() << "torn copy: " << first << " beside " << pixel;
    }
  }
  worker.join();
}

}  // namespace
}  // namespace pelmora::winapp
