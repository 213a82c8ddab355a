#include "linux/feature_sender.h"

#include <fcntl.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <utility>

#include "core/protocol/wire_format.h"

namespace pelmora {
namespace {

std::atomic<int> abandonedTransfers{0};

}  // namespace

int sendHidrawFeature(int fd, std::uint8_t* report, std::size_t length) {
  int result = -1;
  do {
    result = ::ioctl(fd, HIDIOCSFEATURE(length), report);
  } while (result < 0 && errno == EINTR);
  return result < 0 ? errno : 0;
}

// What the owner and the thread share. The thread keeps it alive on its own,
// so an abandoned thread never touches its former owner.
struct FeatureSender::Shared {
  std::mutex mutex;
  std::condition_variable wake;
  bool quit = false;
  bool queued = false;   // a transfer waits for the thread
  bool running = false;  // started and not yet collected
  bool ended = false;    // the transfer returned; `result` holds its outcome
  int result = 0;
  int fd = -1;
  Report report{};
};

FeatureSender::FeatureSender(FeatureTransfer transfer) : transfer_(std::move(transfer)) {}

FeatureSender::~FeatureSender() { stop(); }

void FeatureSender::serve(std::shared_ptr<Shared> shared, FeatureTransfer transfer) {
  std::unique_lock lock(shared->mutex);
  for (;;) {
    shared->wake.wait(lock, [&] { return shared->quit || shared->queued; });
    // A transfer queued before stop is still sent: it may be the session's
    // goodbye, handed over just before the owner let go.
    if (!shared->queued) return;
    // From here on the descriptor and the report are this thread's alone.
    const int fd = shared->fd;
    Report report = shared->report;
    shared->queued = false;
    shared->fd = -1;
    lock.unlock();
    const int result = transfer(fd, report.data(), report.size());
    ::close(fd);
    lock.lock();
    shared->result = result;
    shared->ended = true;
    if (shared->quit) {
      --abandonedTransfers;
      return;
    }
  }
}

int FeatureSender::start(int fd, const std::uint8_t* report) {
  if (shared_ && shared_->running) return EBUSY;
  if (!shared_) {
    shared_ = std::make_shared<Shared>();
    try {
      thread_ = std::thread(serve, shared_, transfer_);
    } catch (const std::system_error& error) {
      shared_.reset();
      return error.code().value() != 0 ? error.code().value() : EAGAIN;
    }
  }
  // The duplicate shares the open file, so the exclusive lock on it lasts
  // until the transfer has ended even when the owner closes its descriptor.
  const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) return errno;
  std::lock_guard lock(shared_->mutex);
  shared_->fd = copy;
  std::memcpy(shared_->report.data(), report, kReportLength);
  shared_->queued = true;
  shared_->running = true;
  shared_->ended = false;
  shared_->wake.notify_one();
  return 0;
}

bool FeatureSender::collect(int& result) {
  if (!shared_) return false;
  std::lock_guard lock(shared_->mutex);
  if (!shared_->running || !shared_->ended) return false;
  shared_->running = false;
  shared_->ended = false;
  result = shared_->result;
  return true;
}

void FeatureSender::stop() {
  if (!shared_) return;
  bool inFlight = false;
  {
    std::lock_guard lock(shared_->mutex);
    shared_->quit = true;
    inFlight = shared_->running && !shared_->ended;
    if (inFlight) ++abandonedTransfers;
    shared_->wake.notify_one();
  }
  // An idle thread ends at once; one inside the ioctl is left to finish it.
  if (inFlight) {
    thread_.detach();
  } else {
    thread_.join();
  }
  shared_.reset();
}

int FeatureSender::abandonedInFlight() { return abandonedTransfers.load(); }

}  // namespace pelmora
