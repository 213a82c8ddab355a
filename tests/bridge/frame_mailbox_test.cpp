#include "bridge/frame_mailbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace pelmora {
namespace {

struct Buffers {
  std::vector<std::unique_ptr<OutputFrame>> frames;
  Buffers() {
    for (std::size_t i = 0; i < FrameMailbox::kBufferCount; ++i) frames.push_back(std::make_unique<OutputFrame>());
  }
  std::array<OutputFrame*, FrameMailbox::kBufferCount> pointers() {
    return {frames[0].get(), frames[1].get(), frames[2].get()};
  }
};

// A consumer that holds a frame while the producer races ahead must find it
// untouched, whole (every word from one frame), and never older than the
// last one it saw; the last frame published is the one it ends on.
TEST(FrameMailbox, ShownFrameStaysWholeWhileTheProducerRacesAhead) {
  Buffers buffers;
  for (auto& frame : buffers.frames) frame->fill(0);
  FrameMailbox mailbox(buffers.pointers());
  EXPECT_FALSE(mailbox.takeNewest());

  constexpr std::uint32_t kFrames = 3000;
  std::atomic<bool> done{false};
  std::thread producer([&] {
    for (std::uint32_t n = 1; n <= kFrames; ++n) {
      mailbox.writeBuffer().fill(n);
      mailbox.publish();
    }
    done = true;
  });
  std::uint32_t last = 0;
  int taken = 0;
  bool whole = true;
  bool ordered = true;
  auto check = [&] {
    // A producer writing into the shown buffer shows up as a mixed frame.
    const OutputFrame& shown = mailbox.shown();
    const std::uint32_t n = shown[0];
    whole = whole && std::all_of(shown.begin(), shown.end(), [n](std::uint32_t w) { return w == n; });
    ordered = ordered && n >= last;
    last = n;
  };
  while (!done) {
    if (mailbox.takeNewest()) {
      ++taken;
      check();
    }
  }
  if (mailbox.takeNewest()) check();
  producer.join();
  EXPECT_TRUE(whole);
  EXPECT_TRUE(ordered);
  EXPECT_EQ(last, kFrames);
  EXPECT_GT(taken, 0);
  EXPECT_FALSE(mailbox.takeNewest());
}

}  // namespace
}  // namespace pelmora
