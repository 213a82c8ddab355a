#pragma once
// The transport over one IOKit HID device. IOKit delivers input reports and
// feature completions by callback through the worker thread's run loop; every
// operation services that run loop for one short slice, so callbacks run only
// inside transport calls, on the thread that opened the device.
#include <cstdint>
#include <memory>
#include <string>

#include "core/transport/hid_transport.h"

namespace pelmora {

// A feature transfer the device never acknowledges ends after this long; until
// then `close` refuses and the transport cannot be freed. IOKit takes the
// time-out in seconds.
inline constexpr double kFeatureTimeoutSeconds = 1.0;
// Input reports kept for the reader; one more is dropped with an overrun.
inline constexpr std::size_t kReportQueueLimit = 4096;

class HidTransport final : public IHidTransport {
 public:
  HidTransport();
  // Closes, servicing the run loop until a pending feature transfer has
  // completed (at most kFeatureTimeoutSeconds).
  ~HidTransport() override;
  HidTransport(const HidTransport&) = delete;
  HidTransport& operator=(const HidTransport&) = delete;

  // `path` is the device's registry entry ID in decimal. A path that another
  // transport of this process holds fails with kIOReturnExclusiveAccess
  // without touching the device.
  bool open(const std::u16string& path) override;
  bool readReport(std::uint8_t* report, bool& received) override;
  // Starts one asynchronous set-report of feature report 2.
  bool sendFeature(const std::uint8_t* report) override;
  bool poll() override;
  // Never waits; refuses while a feature transfer is pending.
  bool close(std::uint32_t timeoutMs) override;
  std::uint32_t errorCode() const override;
  HostSystem codeSystem() const override { return HostSystem::macOs; }
  // Reports arrive by callback whenever the device is open.
  bool isReading() const override { return true; }
  bool isFeaturePending() const override;
  // Reports, removals and feature completions all run through the worker's
  // run loop, so one run of it ends on whichever comes first.
  ReportSignal reportSignal() override { return {.kind = ReportSignal::Kind::runLoop, .coversFeature = true}; }

  struct Record;

 private:
  std::unique_ptr<Record> record_;
};

}  // namespace pelmora
