#include "device_relay.h"

#include <chrono>
#include <cstring>
#include <future>
#include <stdexcept>

namespace pelmora::simdevice {
namespace {

constexpr DWORD kPipeBufferBytes = 64 * 1024;
constexpr DWORD kConnectPollMs = 10;
constexpr std::uint8_t kFeatureOk = 0;
constexpr std::uint8_t kFeatureStalled = 1;

}  // namespace

std::uint64_t steadyNowMs() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

DeviceRelay::DeviceRelay(std::wstring serial, const sim::DeviceConfig& config)
    : pipeName_(L"\\\\.\\pipe\\" SIMDEVICE_PIPE_PREFIX + serial), device_(config) {
  readEvent_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  writeEvent_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  // One instance: a second relay for the same serial fails here rather than
  // sharing the device.
  pipe_ = CreateNamedPipeW(pipeName_.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED |
                                                  FILE_FLAG_FIRST_PIPE_INSTANCE,
                           PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, kPipeBufferBytes,
                           kPipeBufferBytes, 0, nullptr);
  if (!readEvent_ || !writeEvent_ || pipe_ == INVALID_HANDLE_VALUE) {
    if (readEvent_) CloseHandle(readEvent_);
    if (writeEvent_) CloseHandle(writeEvent_);
    throw std::runtime_error("the device pipe cannot be created");
  }
  thread_ = std::thread([this] { run(); });
}

DeviceRelay::~DeviceRelay() {
  stop_.store(true);
  thread_.join();
  CancelIo(pipe_);
  if (readPending_) {
    DWORD ignored = 0;
    GetOverlappedResult(pipe_, &readOverlapped_, &ignored, TRUE);
  }
  CloseHandle(pipe_);
  CloseHandle(readEvent_);
  CloseHandle(writeEvent_);
}

void DeviceRelay::withDevice(const std::function<void(sim::SimDevice&)>& change) {
  std::promise<void> done;
  auto finished = done.get_future();
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back([&] {
      change(device_);
      done.set_value();
    });
  }
  finished.wait();
}

sim::Capture DeviceRelay::sent() const {
  std::lock_guard lock(mutex_);
  return sent_;
}

void DeviceRelay::clearSent() {
  std::lock_guard lock(mutex_);
  sent_.clear();
}

void DeviceRelay::runTasks() {
  std::deque<std::function<void()>> tasks;
  {
    std::lock_guard lock(mutex_);
    tasks.swap(tasks_);
  }
  for (auto& task : tasks) task();
}

void DeviceRelay::run() {
  while (!stop_.load()) {
    if (waitForDriver()) serveDriver();
  }
  runTasks();
}

bool DeviceRelay::waitForDriver() {
  OVERLAPPED connect{};
  connect.hEvent = readEvent_;
  ResetEvent(readEvent_);
  bool connected = ConnectNamedPipe(pipe_, &connect) != 0;
  if (!connected) {
    const DWORD error = GetLastError();
    if (error == ERROR_PIPE_CONNECTED) {
      connected = true;
    } else if (error != ERROR_IO_PENDING) {
      Sleep(kConnectPollMs);
      return false;
    }
  }
  while (!connected) {
    runTasks();
    if (stop_.load()) {
      CancelIo(pipe_);
      DWORD ignored = 0;
      GetOverlappedResult(pipe_, &connect, &ignored, TRUE);
      return false;
    }
    if (WaitForSingleObject(readEvent_, kConnectPollMs) == WAIT_OBJECT_0) {
      DWORD ignored = 0;
      if (!GetOverlappedResult(pipe_, &connect, &ignored, FALSE)) return false;
      connected = true;
    }
  }
  return true;
}

void DeviceRelay::serveDriver() {
  std::uint64_t now = steadyNowMs();
  device_.advanceTo(now);
  device_.plugIn(now);
  // The class driver keeps a read outstanding from the start: the host side
  // of the link is always listening.
  device_.hold();
  attached_.store(true);
  attachments_.fetch_add(1);
  readHave_ = 0;
  bool healthy = startRead();
  while (healthy && !stop_.load()) {
    runTasks();
    now = steadyNowMs();
    healthy = finishRead();
    completeFeatures(now);
    device_.advanceTo(now);
    healthy = healthy && forwardInput(now);
    Sleep(1);
  }
  if (readPending_) {
    CancelIo(pipe_);
    DWORD ignored = 0;
    GetOverlappedResult(pipe_, &readOverlapped_, &ignored, TRUE);
    readPending_ = false;
  }
  features_.clear();
  device_.unplug();
  attached_.store(false);
  DisconnectNamedPipe(pipe_);
}

bool DeviceRelay::startRead() {
  for (;;) {
    readOverlapped_ = {};
    readOverlapped_.hEvent = readEvent_;
    ResetEvent(readEvent_);
    DWORD got = 0;
    const DWORD want = static_cast<DWORD>(SIMDEVICE_FRAME_LENGTH - readHave_);
    if (!ReadFile(pipe_, readFrame_ + readHave_, want, &got, &readOverlapped_)) {
      if (GetLastError() != ERROR_IO_PENDING) return false;
      readPending_ = true;
      return true;
    }
    readHave_ += got;
    if (readHave_ == SIMDEVICE_FRAME_LENGTH) handleFrame();
  }
}

bool DeviceRelay::finishRead() {
  if (!readPending_) return startRead();
  DWORD got = 0;
  if (!GetOverlappedResult(pipe_, &readOverlapped_, &got, FALSE)) {
    if (GetLastError() == ERROR_IO_INCOMPLETE) return true;
    readPending_ = false;
    return false;  // the driver went away
  }
  readPending_ = false;
  readHave_ += got;
  if (readHave_ == SIMDEVICE_FRAME_LENGTH) handleFrame();
  return startRead();
}

void DeviceRelay::handleFrame() {
  readHave_ = 0;
  if (readFrame_[0] != SIMDEVICE_FRAME_FEATURE) return;
  PendingFeature feature{};
  std::memcpy(feature.report.data(), readFrame_ + 4, kReportLength);
  feature.receivedMs = steadyNowMs();
  features_.push_back(feature);
}

// Transfers end one at a time, in order, each when the link lets it. The
// delay is read now, not when the transfer began: a delay switched off ends
// the transfers it held.
std::uint32_t DeviceRelay::delayOf(const Report& feature) const {
  const std::uint8_t code = feature[kCommandCodeOffset];
  const bool handshake = code == static_cast<std::uint8_t>(Command::Hello) ||
                         code == static_cast<std::uint8_t>(Command::OpenSession);
  return handshake && handshakeDelayMs_.load() != 0 ? handshakeDelayMs_.load() : device_.link.featureDelayMs;
}

void DeviceRelay::completeFeatures(std::uint64_t now) {
  while (!features_.empty() && !device_.link.featureStuck &&
         features_.front().receivedMs + delayOf(features_.front().report) <= now) {
    const PendingFeature feature = features_.front();
    features_.pop_front();
    std::uint8_t status[kReportLength]{};
    if (device_.link.featureRefusals.fire()) {
      status[0] = kFeatureStalled;
    } else {
      device_.advanceTo(now);
      device_.receiveFeature(feature.report);
      featuresDelivered_.fetch_add(1);
      status[0] = kFeatureOk;
    }
    sendFrame(SIMDEVICE_FRAME_FEATURE_DONE, status);
  }
}

bool DeviceRelay::forwardInput(std::uint64_t now) {
  Report report{};
  while (device_.popInput(report)) {
    if (!forwarding_.load()) continue;
    if (!sendFrame(SIMDEVICE_FRAME_INPUT, report.data())) return false;
    std::lock_guard lock(mutex_);
    sent_.push_back({now, report});
  }
  return true;
}

bool DeviceRelay::sendFrame(std::uint8_t type, const std::uint8_t* payload) {
  std::uint8_t frame[SIMDEVICE_FRAME_LENGTH]{};
  frame[0] = type;
  std::memcpy(frame + 4, payload, SIMDEVICE_REPORT_LENGTH);
  OVERLAPPED write{};
  write.hEvent = writeEvent_;
  ResetEvent(writeEvent_);
  DWORD written = 0;
  if (!WriteFile(pipe_, frame, sizeof(frame), &written, &write)) {
    if (GetLastError() != ERROR_IO_PENDING) return false;
    if (!GetOverlappedResult(pipe_, &write, &written, TRUE)) return false;
  }
  return written == sizeof(frame);
}

}  // namespace pelmora::simdevice
