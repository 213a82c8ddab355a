#pragma once
// The simulated synthesizer behind /dev/uhid, so that the kernel's own HID
// core and hidraw serve it like a device on the bus. Feature reports the
// kernel passes on (SET_REPORT) become the device's commands, its input
// reports go back as UHID_INPUT2, a hidraw open and the last close hold and
// release it, and unplug/replug destroy and re-create the kernel device. The
// simulator's switches apply: `device.faults` and `fragmentFaults` as in any
// test, and of `link` the ones a kernel link can show: `featureStuck` (a
// SET_REPORT that is never answered, so the kernel gives up on it after its
// own time-out), `featureDelayMs`, and `featureRefusals` (answered with an
// error). A thread of its own serves the device; everything a test does to
// the device goes through `with`, under the same lock.
#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "core/protocol/wire_format.h"
#include "descriptor_support.h"
#include "sim/sim_device.h"

namespace pelmora::test {

struct UhidIdentity {
  std::uint16_t vendor = 0x39D0;
  std::uint16_t product = 0x0101;
  std::string serial = "KG0001";  // the kernel's `uniq`, hidraw's HID_UNIQ
  DescriptorShape shape{};
};

struct UhidCounters {
  std::uint64_t opens = 0;       // UHID_OPEN: the first reader came
  std::uint64_t closes = 0;      // UHID_CLOSE: the last reader left
  std::uint64_t setReports = 0;  // SET_REPORT requests, answered or not
  std::uint64_t inputs = 0;      // reports handed to the kernel
  std::uint64_t firstSetReportMs = 0;  // steady-clock time of the first SET_REPORT
};

class UhidSynth {
 public:
  // Creates the kernel device at once. Throws std::runtime_error when
  // /dev/uhid cannot be used.
  explicit UhidSynth(const UhidIdentity& identity = {}, const sim::DeviceConfig& config = {});
  ~UhidSynth();
  UhidSynth(const UhidSynth&) = delete;
  UhidSynth& operator=(const UhidSynth&) = delete;

  // Runs `f(device)` under the device's lock.
  template <class F>
  auto with(F f) {
    std::lock_guard lock(mutex_);
    return f(device_);
  }
  UhidCounters counters();

  // The kernel device goes away (readers see it vanish) and comes back
  // powered up afresh.
  void unplug();
  void replug();

  // The /dev/hidrawN node the kernel made for this device, once it exists;
  // empty after `timeoutMs`.
  std::string waitForNode(std::uint32_t timeoutMs = 3000) const;

  // Hands these reports to the kernel at once, bypassing the device's pace.
  void injectInputs(const std::vector<Report>& reports);

 private:
  struct PendingReply {
    std::uint64_t dueMs;
    std::uint32_t id;
    std::uint16_t error;
    Report report;
    bool deliver;
  };

  void create();
  void serve();
  void handleEvent();
  void handleSetReport(std::uint32_t id, const std::uint8_t* data, std::size_t size);
  void sendReply(std::uint32_t id, std::uint16_t error);
  void sendInput(const Report& report);
  void advance();

  UhidIdentity identity_;
  int fd_ = -1;
  std::mutex mutex_;
  sim::SimDevice device_;
  UhidCounters counters_;
  std::deque<PendingReply> replies_;
  bool created_ = false;
  std::atomic<bool> quit_{false};
  std::thread thread_;
};

// Milliseconds of the steady clock, the same base as the platform clock.
std::uint64_t steadyMs();

}  // namespace pelmora::test
