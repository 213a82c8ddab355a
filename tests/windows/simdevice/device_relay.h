#pragma once
// The process side of a simulated HID device: serves the named pipe that
// the minidriver of one serial connects to, and plays the simulated
// synthesizer behind it on a thread of its own, in real time. The driver's
// connection is the device's power: the synthesizer powers up when the
// driver attaches and is unplugged when the pipe breaks.
//
// Feature reports reach the synthesizer when their transfer completes,
// which is when the device's link faults allow (featureDelayMs,
// featureStuck, featureRefusals stall the transfer); input reports leave
// through the simulator's one-report-per-millisecond pipe and are recorded,
// in order, as the device side of a capture.
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "sim/capture.h"
#include "sim/sim_device.h"
#include "relay_protocol.h"

namespace pelmora::simdevice {

class DeviceRelay {
 public:
  DeviceRelay(std::wstring serial, const sim::DeviceConfig& config = {});
  ~DeviceRelay();
  DeviceRelay(const DeviceRelay&) = delete;
  DeviceRelay& operator=(const DeviceRelay&) = delete;

  // Runs `change` against the synthesizer on the relay thread and returns
  // once it has run. The synthesizer is not thread-safe; this is the only
  // way to reach it while the relay runs.
  void withDevice(const std::function<void(sim::SimDevice&)>& change);

  // The driver is attached (the device has power).
  bool attached() const { return attached_.load(); }
  // How many times a driver has attached.
  std::uint32_t attachments() const { return attachments_.load(); }
  // Feature reports that reached the synthesizer.
  std::uint64_t featuresDelivered() const { return featuresDelivered_.load(); }

  // Input reports sent to the driver, stamped with the relay's clock.
  sim::Capture sent() const;
  void clearSent();
  // While off, the synthesizer's input reports are dropped before the pipe
  // and not recorded: the host then reads nothing more.
  void setForwarding(bool on) { forwarding_.store(on); }
  // HELLO and OPEN_SESSION take this long instead of the link's delay: the
  // connecting screens stay up while the device answers all else at once.
  void setHandshakeDelay(std::uint32_t ms) { handshakeDelayMs_.store(ms); }

 private:
  struct PendingFeature {
    Report report;
    std::uint64_t receivedMs;
  };

  void run();
  bool waitForDriver();
  void serveDriver();
  bool startRead();
  bool finishRead();
  void handleFrame();
  void completeFeatures(std::uint64_t now);
  bool sendFrame(std::uint8_t type, const std::uint8_t* payload);
  bool forwardInput(std::uint64_t now);
  void runTasks();

  std::uint32_t delayOf(const Report& feature) const;

  std::wstring pipeName_;
  std::atomic<std::uint32_t> handshakeDelayMs_{0};
  sim::SimDevice device_;
  HANDLE pipe_ = INVALID_HANDLE_VALUE;
  HANDLE readEvent_ = nullptr;
  HANDLE writeEvent_ = nullptr;
  OVERLAPPED readOverlapped_{};
  std::uint8_t readFrame_[SIMDEVICE_FRAME_LENGTH]{};
  std::size_t readHave_ = 0;
  bool readPending_ = false;
  std::deque<PendingFeature> features_;

  std::atomic<bool> stop_{false};
  std::atomic<bool> attached_{false};
  std::atomic<bool> forwarding_{true};
  std::atomic<std::uint32_t> attachments_{0};
  std::atomic<std::uint64_t> featuresDelivered_{0};

  mutable std::mutex mutex_;  // guards tasks_ and sent_
  std::deque<std::function<void()>> tasks_;
  sim::Capture sent_;
  std::thread thread_;
};

// Milliseconds of the steady clock, the relay's and the tests' time base.
std::uint64_t steadyNowMs();

}  // namespace pelmora::simdevice
