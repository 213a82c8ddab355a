#include "bridge/frame_mailbox.h"

namespace pelmora {

FrameMailbox::FrameMailbox(const std::array<OutputFrame*, kBufferCount>& buffers) : buffers_(buffers) {}

// Release: the frame written into the buffer must be visible before the
// consumer can see its index. Acquire: the buffer coming back must be one
// the consumer has finished with.
void FrameMailbox::publish() {
  write_ = newest_.exchange(static_cast<std::uint8_t>(write_ | kFresh), std::memory_order_acq_rel) & kIndexMask;
}

bool FrameMailbox::takeNewest() {
  if ((newest_.load(std::memory_order_relaxed) & kFresh) == 0) return false;
  shown_ = newest_.exchange(shown_, std::memory_order_acq_rel) & kIndexMask;
  return true;
}

}  // namespace pelmora
