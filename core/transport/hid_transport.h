#pragma once
// The one interface between the core and an operating system's HID stack:
// fixed 64-byte reports, polled from one thread, never blocking (except
// `close`, up to its limit). Transports never throw; they return false and
// keep the first platform error code until the next `open`.
#include <cstdint>
#include <string>

#include "core/protocol/wire_format.h"
#include "core/transport/error_code_rules.h"

namespace pelmora {

// What a worker with nothing to read can sleep on until a report arrives,
// named without platform types: the host's wait knows the kinds its own
// transports give and sleeps on them beside its stop and wake signals.
struct ReportSignal {
  enum class Kind : std::uint8_t {
    none,        // nothing to sleep on: the worker looks again after 1 ms
    dueIn,       // no object, but the next report is known to come in `dueInMs`
    descriptor,  // `handle` is a file descriptor that polls readable while a report waits
    event,       // `handle` is an event object set when the pending read has completed
    runLoop,     // the transport's callbacks run on the worker thread's run loop
  };
  Kind kind = Kind::none;
  std::intptr_t handle = -1;
  std::uint32_t dueInMs = 0;
  // The end of a feature transfer ends the wait too; when not, the worker
  // looks again after 1 ms while one is pending.
  bool coversFeature = false;
  // Set by the worker: reports arriving in the first `quietMs` cannot
  // complete a message yet, so they need not end the wait.
  std::uint32_t quietMs = 0;

  // For `dueIn`: when the wait is to end, the next report's landing or,
  // while reports cannot complete a message yet, the last one's it needs
  // (one a millisecond after it).
  std::uint32_t dueEndMs() const {
    const std::uint64_t end = quietMs > 0 ? std::uint64_t{dueInMs} + quietMs - 1 : dueInMs;
    return end < UINT32_MAX ? static_cast<std::uint32_t>(end) : UINT32_MAX;
  }
};

class IHidTransport {
 public:
  // Closes the device; must leave no transfer that could still write into
  // the transport's buffers.
  virtual ~IHidTransport() = default;
  // Clears the error code, opens the device for exclusive use and starts
  // receiving input reports. On failure records the platform's code.
  virtual bool open(const std::u16string& path) = 0;
  // Never waits. Copies at most one whole 64-byte report (report ID in byte
  // 0) and sets `received`; returns false once the error code is set.
  virtual bool readReport(std::uint8_t* report, bool& received) = 0;
  // Starts one feature transfer of 64 bytes (report ID in byte 0). False
  // while another transfer is pending or when it cannot be started.
  virtual bool sendFeature(const std::uint8_t* report) = 0;
  // Services outstanding transfers once; false when the error code is set.
  virtual bool poll() = 0;
  // Cancels what can be cancelled, waits up to `timeoutMs`; true when closed
  // (or not open). A successful close forgets undelivered reports.
  virtual bool close(std::uint32_t timeoutMs) = 0;
  // The platform's error code of the failure; 0 when none.
  virtual std::uint32_t errorCode() const = 0;
  // The system whose codes errorCode() reports; its table in
  // error_code_rules.h says what each means. A transport answers for the
  // codes it produces, so sessions over different transports in one process
  // (a live device, a replayed trace) each read their own.
  virtual HostSystem codeSystem() const = 0;
  virtual bool isReading() const = 0;
  virtual bool isFeaturePending() const = 0;
  // Asked just before the worker sleeps with nothing left to read.
  virtual ReportSignal reportSignal() { return {}; }
};

}  // namespace pelmora
