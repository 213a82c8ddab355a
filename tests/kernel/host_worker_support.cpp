#include "host_worker_support.h"

#include <fcntl.h>
#include <termios.h>

#include <stdexcept>
#include <string_view>

#include "core/protocol/wire_format.h"
#include "core/transport/platform.h"
#include "trace/trace_replay.h"

namespace pelmora::test {

HostWorker::HostWorker(const std::string& tracePath)
    : state_(std::make_shared<SessionBridgeState>()), watching_(state_, [] { return enumerateDevices(); }) {
  WaitFunction wait = [this](std::uint32_t ms) { return waitAndNote(ms); };
  auto onFrame = [this](const OutputFrame& frame) { hashes_.push_back(trace::frameHash(frame)); };
  auto onModel = [this](const LcdModel& model, const LcdCanvas&) {
    std::lock_guard lock(mutex_);
    ++frames_;
    if (model.frameMessage.size() > kFrameModeOffset) modes_ |= 1u << (model.frameMessage[kFrameModeOffset] % 32);
  };
  auto onSerial = [this](const std::u16string& serial) {
    std::lock_guard lock(mutex_);
    serial_ = serial;
  };
  // An empty list is what puts "No Device" on screen.
  ConnectionHooks hooks;
  hooks.enumerate = [this] {
    DeviceList devices = enumerateDevices();
    if (devices.empty()) note(kTextNoDevice);
    return devices;
  };
  ResumeCallback pollResume = [this] { return state_->resumeRequested.exchange(false); };
  if (!tracePath.empty()) {
    std::string error;
    writer_ = trace::TraceWriter::create(tracePath, trace::ownHeader(), error);
    if (!writer_) throw std::runtime_error(error);
    recording_ = std::make_unique<trace::TraceRecording>(*writer_);
  }
  worker_ = std::make_unique<ConnectionWorker>(std::move(wait), std::move(onFrame), std::move(onModel),
                                               nullptr, std::move(hooks), std::move(onSerial), std::move(pollResume));
  worker_->setRecorder(recording_.get());
  thread_ = std::thread([this] { worker_->run(); });
}

HostWorker::~HostWorker() { stop(); }

void HostWorker::note(const std::string& text) {
  std::lock_guard lock(mutex_);
  if (errors_.empty() || errors_.back().text != text) errors_.push_back({steadyMs(), text});
}

bool HostWorker::waitAndNote(std::uint32_t ms) {
  if (worker_->lastError != lastError_) note(lastError_ = worker_->lastError);
  return watching_(ms);
}

std::uint64_t HostWorker::stop() {
  if (!thread_.joinable()) return 0;
  const std::uint64_t start = steadyMs();
  state_->stopRequested = true;
  state_->wake.notify_all();
  thread_.join();
  const std::uint64_t took = steadyMs() - start;
  if (writer_) writer_->finish();
  return took;
}

std::vector<TimedText> HostWorker::errors() {
  std::lock_guard lock(mutex_);
  return errors_;
}

std::uint64_t HostWorker::errorSeenAt(const std::string& text) {
  std::lock_guard lock(mutex_);
  for (const TimedText& e : errors_) {
    if (e.text == text) return e.atMs;
  }
  return 0;
}

bool HostWorker::sawDeviceGone() {
  static constexpr std::string_view kCodePrefix = "\nError ";
  std::lock_guard lock(mutex_);
  for (const TimedText& e : errors_) {
    const std::size_t at = e.text.rfind(kCodePrefix);
    if (!e.text.starts_with("Connection Error\n") || at == std::string::npos) continue;
    const std::string code = e.text.substr(at + kCodePrefix.size());
    if (!code.empty() && code.find_first_not_of("0123456789") == std::string::npos &&
        isDeviceGoneCodeOn(HostSystem::linuxOs, static_cast<std::uint32_t>(std::stoul(code)))) {
      return true;
    }
  }
  return false;
}

std::u16string HostWorker::serial() {
  std::lock_guard lock(mutex_);
  return serial_;
}

std::uint32_t HostWorker::modesRendered() {
  std::lock_guard lock(mutex_);
  return modes_;
}

std::uint64_t HostWorker::framesRendered() {
  std::lock_guard lock(mutex_);
  return frames_;
}

bool sendToHost(const char* port, const std::string& bytes) {
  const int fd = ::open(port, O_WRONLY | O_NOCTTY);
  if (fd < 0) return false;
  // Raw, so that no byte of a binary file is turned into another.
  termios mode{};
  bool sent = tcgetattr(fd, &mode) == 0;
  cfmakeraw(&mode);
  sent = sent && tcsetattr(fd, TCSANOW, &mode) == 0;
  for (std::size_t done = 0; sent && done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    sent = n > 0;
    if (sent) done += static_cast<std::size_t>(n);
  }
  sent = sent && tcdrain(fd) == 0;
  ::close(fd);
  return sent;
}

}  // namespace pelmora::test
