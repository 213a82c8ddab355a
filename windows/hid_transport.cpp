#include "windows/hid_transport.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

extern "C" {
#include <hidclass.h>
}

namespace pelmora {
namespace {

constexpr DWORD kReportBytes = static_cast<DWORD>(kReportLength);

// A fresh operation on an OVERLAPPED keeps its event and nothing else.
void rearm(OVERLAPPED& overlapped) {
  HANDLE event = overlapped.hEvent;
  overlapped = OVERLAPPED{};
  overlapped.hEvent = event;
}

}  // namespace

HidTransport::HidTransport(const Win32Api& api) : api_(api) {
  readOverlapped_.hEvent = api_.createEvent(nullptr, TRUE, FALSE, nullptr);
  featureOverlapped_.hEvent = api_.createEvent(nullptr, TRUE, FALSE, nullptr);
  if (readOverlapped_.hEvent == nullptr || featureOverlapped_.hEvent == nullptr) {
    if (readOverlapped_.hEvent != nullptr) api_.closeHandle(readOverlapped_.hEvent);
    if (featureOverlapped_.hEvent != nullptr) api_.closeHandle(featureOverlapped_.hEvent);
    throw std::runtime_error("HID event allocation");
  }
}

HidTransport::~HidTransport() {
  if (!close(kCloseLimitMs)) api_.exitProcess(kExitIoStillPending);
  api_.closeHandle(readOverlapped_.hEvent);
  api_.closeHandle(featureOverlapped_.hEvent);
}

void HidTransport::record(DWORD code) {
  if (error_ == 0) error_ = code;
}

// A call that failed without saying why still counts as failed.
void HidTransport::recordLastError() {
  const DWORD code = GetLastError();
  record(code != 0 ? code : ERROR_GEN_FAILURE);
}

bool HidTransport::open(const std::u16string& path) {
  if (!close(kCloseLimitMs)) return false;
  error_ = 0;
  HANDLE device = api_.createFile(reinterpret_cast<const wchar_t*>(path.c_str()), GENERIC_READ | GENERIC_WRITE, 0,
                                  nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (device == INVALID_HANDLE_VALUE) {
    recordLastError();
    return false;
  }
  device_ = device;
  // The handle stays open on failure; the next close releases it.
  if (!api_.hidSetNumInputBuffers(device_, kInputBufferCount)) {
    recordLastError();
    return false;
  }
  return startRead();
}

bool HidTransport::startRead() {
  api_.resetEvent(readOverlapped_.hEvent);
  rearm(readOverlapped_);
  inputBuffer_.fill(0);
  DWORD transferred = 0;
  if (api_.readFile(device_, inputBuffer_.data(), kReportBytes, &transferred, &readOverlapped_)) {
    if (transferred != kReportBytes) {
      record(kErrorShortReport);
      return false;
    }
    reportReady_ = true;
    return true;
  }
  if (GetLastError() == ERROR_IO_PENDING) {
    readPending_ = true;
    return true;
  }
  recordLastError();
  return false;
}

bool HidTransport::finished(OVERLAPPED& overlapped, bool& pending, DWORD& transferred) {
  transferred = 0;
  if (api_.getOverlappedResult(device_, &overlapped, &transferred, FALSE)) {
    pending = false;
    return true;
  }
  const DWORD code = GetLastError();
  if (code == ERROR_IO_INCOMPLETE) return false;
  pending = false;
  record(code != 0 ? code : ERROR_GEN_FAILURE);
  return false;
}

bool HidTransport::readReport(std::uint8_t* report, bool& received) {
  received = false;
  if (error_ != 0) return false;
  if (readPending_) {
    DWORD transferred = 0;
    if (finished(readOverlapped_, readPending_, transferred)) {
      if (transferred != kReportBytes) {
        record(kErrorShortReport);
        return false;
      }
      reportReady_ = true;
    } else if (error_ != 0) {
      return false;
    }
  }
  if (!reportReady_) return true;
  std::memcpy(report, inputBuffer_.data(), kReportBytes);
  received = true;
  reportReady_ = false;
  return startRead();
}

ReportSignal HidTransport::reportSignal() {
  ReportSignal signal;
  if (!readPending_ || error_ != 0) return signal;
  signal.kind = ReportSignal::Kind::event;
  signal.handle = reinterpret_cast<std::intptr_t>(readOverlapped_.hEvent);
  return signal;
}

bool HidTransport::sendFeature(const std::uint8_t* report) {
  if (featurePending_) {
    record(kErrorFeatureBusy);
    return false;
  }
  api_.resetEvent(featureOverlapped_.hEvent);
  rearm(featureOverlapped_);
  std::memcpy(featureBuffer_.data(), report, kReportBytes);
  DWORD returned = 0;
  if (api_.deviceIoControl(device_, IOCTL_HID_SET_FEATURE, featureBuffer_.data(), kReportBytes, nullptr, 0,
                           &returned, &featureOverlapped_)) {
    return true;
  }
  if (GetLastError() == ERROR_IO_PENDING) {
    featurePending_ = true;
    return true;
  }
  recordLastError();
  return false;
}

bool HidTransport::poll() {
  if (error_ != 0) return false;
  if (featurePending_) {
    DWORD transferred = 0;
    finished(featureOverlapped_, featurePending_, transferred);
  }
  return error_ == 0;
}

// A cancelled transfer ends after CancelIoEx has returned, not within it: a
// limit of 0 taken literally would report a healthy cancellation as pending
// (under Wine a cancelled read takes up to about 12 ms to end), and the
// session would put an error on screen for it. Transfers that do not end
// within the settle time are refused as before.
bool HidTransport::close(std::uint32_t timeoutMs) {
  if (device_ == INVALID_HANDLE_VALUE) return true;
  if (readPending_) api_.cancelIoEx(device_, &readOverlapped_);
  if (featurePending_) api_.cancelIoEx(device_, &featureOverlapped_);
  const ULONGLONG deadline = api_.getTickCount64() + std::max(timeoutMs, kCancelSettleMs);
  for (;;) {
    DWORD transferred = 0;
    if (readPending_) finished(readOverlapped_, readPending_, transferred);
    if (featurePending_) finished(featureOverlapped_, featurePending_, transferred);
    if (!readPending_ && !featurePending_) {
      api_.closeHandle(device_);
      device_ = INVALID_HANDLE_VALUE;
      reportReady_ = false;
      return true;
    }
    if (api_.getTickCount64() >= deadline) return false;
    api_.sleep(1);
  }
}

}  // namespace pelmora
