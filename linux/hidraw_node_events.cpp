#include "linux/hidraw_node_events.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <iterator>
#include <string_view>
#include <thread>

namespace pelmora {
namespace {

constexpr std::string_view kNodePrefix = "hidraw";
constexpr std::uint32_t kNodeChanges = IN_CREATE | IN_DELETE | IN_ATTRIB | IN_MOVED_TO | IN_MOVED_FROM;
// Room for many events per read; names in /dev are short.
constexpr std::size_t kEventBufferBytes = 4096;
// A poll that fails for any reason but a signal must not turn the worker's
// pauses into a busy loop.
constexpr std::chrono::milliseconds kFailedPollPause{20};
constexpr long kNanosecondsPerSecond = 1000000000;

timespec toTimespec(std::chrono::nanoseconds timeout) {
  if (timeout.count() < 0) timeout = std::chrono::nanoseconds::zero();
  return {static_cast<time_t>(timeout.count() / kNanosecondsPerSecond),
          static_cast<long>(timeout.count() % kNanosecondsPerSecond)};
}

void closeIfOpen(int fd) {
  if (fd >= 0) close(fd);
}

}  // namespace

std::unique_ptr<HidrawNodeEvents> HidrawNodeEvents::create(const std::string& devRoot) {
  const int interruptFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  const int nodeFd = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  if (interruptFd < 0 || nodeFd < 0 || inotify_add_watch(nodeFd, devRoot.c_str(), kNodeChanges | IN_ONLYDIR) < 0) {
    closeIfOpen(interruptFd);
    closeIfOpen(nodeFd);
    return nullptr;
  }
  return std::unique_ptr<HidrawNodeEvents>(new HidrawNodeEvents(interruptFd, nodeFd));
}

HidrawNodeEvents::~HidrawNodeEvents() {
  close(interruptFd_);
  close(nodeFd_);
}

DeviceEventOutcome HidrawNodeEvents::waitFor(std::chrono::nanoseconds timeout, bool watchDevices,
                                             const ReportSignal& report) {
  // Unwatched entries (a negative descriptor) are left out by the poll.
  const int reportFd = report.kind == ReportSignal::Kind::descriptor ? static_cast<int>(report.handle) : -1;
  pollfd fds[] = {{interruptFd_, POLLIN, 0}, {watchDevices ? nodeFd_ : -1, POLLIN, 0}, {reportFd, POLLIN, 0}};
  const timespec limit = toTimespec(timeout);
  const int ready = ppoll(fds, std::size(fds), &limit, nullptr);
  if (ready < 0) {
    if (errno != EINTR) std::this_thread::sleep_for(std::min<std::chrono::nanoseconds>(timeout, kFailedPollPause));
    return DeviceEventOutcome::Quiet;
  }
  if (fds[0].revents != 0) {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t got = read(interruptFd_, &count, sizeof count);
    return DeviceEventOutcome::Interrupted;
  }
  // A report, or the node's end (an error or hang-up), is the reader's to see.
  if (fds[2].revents != 0) return DeviceEventOutcome::ReportReady;
  if (watchDevices && fds[1].revents != 0 && drainNodeEvents()) return DeviceEventOutcome::DevicesChanged;
  return DeviceEventOutcome::Quiet;
}

void HidrawNodeEvents::interrupt() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t put = write(interruptFd_, &one, sizeof one);
}

bool HidrawNodeEvents::drainNodeEvents() {
  alignas(inotify_event) char buffer[kEventBufferBytes];
  bool relevant = false;
  for (;;) {
    const ssize_t got = read(nodeFd_, buffer, sizeof buffer);
    if (got <= 0) return relevant;
    for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= got;) {
      inotify_event event;
      std::memcpy(&event, buffer + at, sizeof event);
      const char* name = buffer + at + sizeof event;
      const std::size_t nameRoom = std::min<std::size_t>(event.len, static_cast<std::size_t>(got - at) - sizeof event);
      // A lost queue (overflow) or a lost watch may have hidden a node.
      if ((event.mask & (IN_Q_OVERFLOW | IN_IGNORED)) != 0 ||
          std::string_view(name, strnlen(name, nameRoom)).starts_with(kNodePrefix)) {
        relevant = true;
      }
      at += static_cast<ssize_t>(sizeof event + event.len);
    }
  }
}

}  // namespace pelmora
