#include "linux/app/report_recorder.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "core/transport/platform.h"
#include "sim/forwarding_transport.h"

namespace pelmora::app {
namespace {

// Records taken out of the ring per write.
constexpr std::size_t kBatchRecords = 256;

class RecordingTransport final : public sim::ForwardingTransport {
 public:
  RecordingTransport(std::unique_ptr<IHidTransport> inner, ReportRecorder& recorder,
                     std::function<std::uint64_t()> now)
      : ForwardingTransport(std::move(inner)), recorder_(recorder), now_(std::move(now)) {}

  bool readReport(std::uint8_t* report, bool& received) override {
    const bool ok = inner_->readReport(report, received);
    if (ok && received) recorder_.record(now_(), report);
    return ok;
  }

 private:
  ReportRecorder& recorder_;
  std::function<std::uint64_t()> now_;
};

}  // namespace

std::unique_ptr<ReportRecorder> ReportRecorder::create(const std::string& path, std::string& error) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    error = "cannot create " + path + ": " + std::strerror(errno);
    return nullptr;
  }
  std::unique_ptr<ReportRecorder> recorder(new ReportRecorder(fd));
  const std::vector<std::uint8_t> header = sim::serializeCapture({});
  if (!recorder->writeAll(header.data(), header.size())) {
    error = "cannot write " + path + ": " + recorder->writeError();
    return nullptr;
  }
  recorder->writer_ = std::thread(&ReportRecorder::writeLoop, recorder.get());
  return recorder;
}

ReportRecorder::ReportRecorder(int fd) : fd_(fd), ring_(kRingRecords) {}

ReportRecorder::~ReportRecorder() {
  finish();
  ::close(fd_);
}

void ReportRecorder::finish() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  wake_.notify_all();
  if (writer_.joinable()) writer_.join();
}

void ReportRecorder::record(std::uint64_t timeMs, const std::uint8_t* report) {
  {
    std::lock_guard lock(mutex_);
    if (closing_ || count_ == ring_.size()) {
      ++dropped_;
      return;
    }
    sim::CapturedReport& slot = ring_[(head_ + count_) % ring_.size()];
    slot.timeMs = timeMs;
    std::copy_n(report, kReportLength, slot.report.begin());
    ++count_;
    ++recorded_;
  }
  wake_.notify_one();
}

void ReportRecorder::writeLoop() {
  sim::Capture batch;
  batch.reserve(kBatchRecords);
  std::vector<std::uint8_t> bytes;
  for (;;) {
    batch.clear();
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return count_ > 0 || closing_; });
      if (count_ == 0) return;  // closing, and everything is written
      while (count_ > 0 && batch.size() < kBatchRecords) {
        batch.push_back(ring_[head_]);
        head_ = (head_ + 1) % ring_.size();
        --count_;
      }
    }
    if (!writeError().empty()) continue;  // keep draining so record() never fills up for nothing
    bytes = sim::serializeCapture(batch);
    writeAll(bytes.data() + sim::kCaptureHeaderLength, bytes.size() - sim::kCaptureHeaderLength);
  }
}

bool ReportRecorder::writeAll(const std::uint8_t* bytes, std::size_t length) {
  while (length > 0) {
    const ssize_t n = ::write(fd_, bytes, length);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      std::lock_guard lock(mutex_);
      if (writeError_.empty()) writeError_ = n < 0 ? std::strerror(errno) : "nothing written";
      return false;
    }
    bytes += n;
    length -= static_cast<std::size_t>(n);
  }
  return true;
}

std::uint64_t ReportRecorder::recorded() const {
  std::lock_guard lock(mutex_);
  return recorded_;
}

std::uint64_t ReportRecorder::dropped() const {
  std::lock_guard lock(mutex_);
  return dropped_;
}

std::string ReportRecorder::writeError() const {
  std::lock_guard lock(mutex_);
  return writeError_;
}

void recordReports(SessionBridgeOptions& options, ReportRecorder& recorder) {
  std::function<std::unique_ptr<IHidTransport>()> create = options.hooks.createTransport;
  if (!create) create = [] { return createPlatformTransport(); };
  std::function<std::uint64_t()> now = options.hooks.now;
  if (!now) now = [] { return platformNowMs(); };
  options.hooks.createTransport = [create = std::move(create), now = std::move(now), &recorder] {
    std::unique_ptr<IHidTransport> inner = create();
    if (!inner) return inner;  // the worker reports the missing transport itself
    return std::unique_ptr<IHidTransport>(std::make_unique<RecordingTransport>(std::move(inner), recorder, now));
  };
}

}  // namespace pelmora::app
