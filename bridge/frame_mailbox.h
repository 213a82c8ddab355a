#pragma once
// Three frame buffers shared by one producer (the session's worker) and one
// consumer (the thread that shows frames), handed over without a lock and
// without copying on the consumer's side: the producer fills its own buffer
// and swaps it with the "newest" one; the consumer swaps its shown buffer
// with the newest when there is a newer one. Each side only ever touches the
// buffer it holds, so a shown frame stays intact however fast frames come,
// and the consumer decides when it lets go of it (for instance only once a
// display server has finished reading it).
#include <array>
#include <atomic>
#include <cstdint>

#include "core/render/lcd_canvas.h"

namespace pelmora {

class FrameMailbox {
 public:
  static constexpr std::size_t kBufferCount = 3;

  // The three buffers, owned by the caller and outliving the mailbox. At the
  // start the producer holds the first, the second is the newest (not yet
  // fresh) and the consumer shows the third.
  explicit FrameMailbox(const std::array<OutputFrame*, kBufferCount>& buffers);

  // Producer: the buffer to write the next frame into.
  OutputFrame& writeBuffer() { return *buffers_[write_]; }
  // Producer: makes the written buffer the newest and takes another to write.
  void publish();

  // Consumer: when a frame was published since the last take, makes it the
  // shown one (giving the old shown buffer back) and returns true.
  bool takeNewest();
  const OutputFrame& shown() const { return *buffers_[shown_]; }
  OutputFrame& shown() { return *buffers_[shown_]; }

 private:
  static constexpr std::uint8_t kIndexMask = 0x3;
  static constexpr std::uint8_t kFresh = 0x4;

  std::array<OutputFrame*, kBufferCount> buffers_;
  std::uint8_t write_ = 0;               // producer's only
  std::atomic<std::uint8_t> newest_{1};  // index, plus kFresh when not yet taken
  std::uint8_t shown_ = 2;               // consumer's only
};

}  // namespace pelmora
