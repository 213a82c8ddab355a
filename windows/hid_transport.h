#pragma once
// The transport over one Windows HID device: a file handle opened for
// overlapped I/O, with at most one ReadFile and one feature transfer
// (IOCTL_HID_SET_FEATURE) outstanding, each with its own OVERLAPPED and
// manual-reset event. Nothing waits except `close`, which polls for the end
// of cancelled I/O. The system writes into the buffers and OVERLAPPED
// structures while I/O is outstanding: the object must not move, and must
// not be freed before `close` has succeeded.
#include <array>
#include <cstdint>
#include <string>

#include "core/transport/hid_transport.h"
#include "windows/win32_api.h"

namespace pelmora {

// Codes the transport sets itself (system error codes).
inline constexpr std::uint32_t kErrorShortReport = ERROR_BAD_LENGTH;  // 24: a read of other than 64 bytes
inline constexpr std::uint32_t kErrorFeatureBusy = ERROR_BUSY;        // 170: a second feature transfer
// The process exit code when the destructor cannot end outstanding I/O.
inline constexpr UINT kExitIoStillPending = ERROR_IO_INCOMPLETE;       // 996
// How long `open` and the destructor let a previous transfer end.
inline constexpr std::uint32_t kCloseLimitMs = 1000;
// The least time `close` gives the transfers it cancels, whatever its limit.
inline constexpr std::uint32_t kCancelSettleMs = 50;
// Input reports the driver keeps queued for the transport.
inline constexpr ULONG kInputBufferCount = 512;

class HidTransport final : public IHidTransport {
 public:
  // Throws std::runtime_error("HID event allocation") when an event cannot
  // be created.
  explicit HidTransport(const Win32Api& api = systemWin32Api());
  // Ends the process with exit code 996 when outstanding I/O does not end
  // within a second: freeing buffers the system may still write is worse.
  ~HidTransport() override;
  HidTransport(const HidTransport&) = delete;
  HidTransport& operator=(const HidTransport&) = delete;

  bool open(const std::u16string& path) override;
  bool readReport(std::uint8_t* report, bool& received) override;
  bool sendFeature(const std::uint8_t* report) override;
  bool poll() override;
  bool close(std::uint32_t timeoutMs) override;
  std::uint32_t errorCode() const override { return error_; }
  HostSystem codeSystem() const override { return HostSystem::windowsOs; }
  bool isReading() const override { return readPending_; }
  bool isFeaturePending() const override { return featurePending_; }
  // The pending read's event. Feature transfers are not covered: the wait
  // takes one handle, and a transfer in flight is polled every millisecond.
  ReportSignal reportSignal() override;

 private:
  bool startRead();
  // One look at an outstanding transfer: clears `pending` when it has ended
  // and returns its byte count; records a failure.
  bool finished(OVERLAPPED& overlapped, bool& pending, DWORD& transferred);
  void record(DWORD code);
  void recordLastError();

  const Win32Api& api_;
  HANDLE device_ = INVALID_HANDLE_VALUE;
  OVERLAPPED readOverlapped_{};
  OVERLAPPED featureOverlapped_{};
  std::array<std::uint8_t, kReportLength> inputBuffer_{};
  std::array<std::uint8_t, kReportLength> featureBuffer_{};
  bool readPending_ = false;
  bool featurePending_ = false;
  bool reportReady_ = false;
  std::uint32_t error_ = 0;
};

}  // namespace pelmora
