#pragma once
// The device-to-host half of the USB link: a full-speed interrupt endpoint
// moves at most one 64-byte report per millisecond, and only while the host
// is reading. Reports wait in the device's bounded transmit buffer (answers
// ahead of the stream) and then in the host's bounded input buffer; a report
// that finds its buffer full is lost, as on real hardware.
#include <cstddef>
#include <cstdint>
#include <deque>

#include "core/protocol/wire_format.h"

namespace pelmora::sim {

struct PipeCounters {
  std::uint64_t queued = 0;
  std::uint64_t transferred = 0;
  std::uint64_t droppedAtDevice = 0;  // transmit buffer full
  std::uint64_t droppedAtHost = 0;    // host input buffer full
  std::uint64_t delivered = 0;
};

class InputPipe {
 public:
  static constexpr std::size_t kDefaultDeviceCapacity = 256;
  static constexpr std::size_t kDefaultHostCapacity = 64;

  explicit InputPipe(std::size_t deviceCapacity = kDefaultDeviceCapacity,
                     std::size_t hostCapacity = kDefaultHostCapacity);

  // Queues one report in the device's transmit buffer; false when it was
  // dropped because the buffer is full. Urgent reports go ahead of the rest.
  bool queue(const Report& report, bool urgent = false);
  // One millisecond of the endpoint: moves one report to the host when the
  // host is listening.
  void tick(bool hostListening);
  // The oldest report in the host's buffer.
  bool pop(Report& report);

  std::size_t deviceQueued() const { return urgent_.size() + normal_.size(); }
  std::size_t hostQueued() const { return host_.size(); }
  void clearHost() { host_.clear(); }
  void clearAll();
  const PipeCounters& counters() const { return counters_; }

 private:
  std::size_t deviceCapacity_;
  std::size_t hostCapacity_;
  std::deque<Report> urgent_;
  std::deque<Report> normal_;
  std::deque<Report> host_;
  PipeCounters counters_;
};

}  // namespace pelmora::sim
