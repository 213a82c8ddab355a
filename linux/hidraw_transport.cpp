#include "linux/hidraw_transport.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "core/protocol/wire_format.h"
#include "core/transport/error_code_rules.h"
#include "linux/utf16_conversion.h"

namespace pelmora {
namespace {

// One byte more than a report, so an over-long report shows up as such
// instead of being cut to size by the kernel.
constexpr std::size_t kReadBufferLength = kReportLength + 1;

}  // namespace

HidTransport::HidTransport(FeatureTransfer transfer) : sender_(std::move(transfer)) {}

HidTransport::~HidTransport() { close(0); }

void HidTransport::recordError(int code) {
  if (error_ == 0) error_ = static_cast<std::uint32_t>(code);
}

bool HidTransport::open(const std::u16string& path) {
  if (fd_ >= 0) return false;
  error_ = 0;
  // The kernel serialises hidraw opens with feature transfers: while one
  // that was given up on is still stuck, an open would wait for it.
  if (FeatureSender::abandonedInFlight() > 0) {
    recordError(kErrorHeldByOwnTransfer);
    return false;
  }
  const std::string node = utf16ToUtf8(path);
  const int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    recordError(errno);
    return false;
  }
  struct stat identity {};
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &identity) != 0) {
    recordError(errno);
    ::close(fd);
    return false;
  }
  fd_ = fd;
  node_ = node;
  nodeDevice_ = identity.st_dev;
  nodeInode_ = identity.st_ino;
  return true;
}

int HidTransport::deviceFailure(int code) const {
  if (isDeviceGoneCodeOn(codeSystem(), static_cast<std::uint32_t>(code))) return code;
  struct stat now {};
  const bool nodeThere =
      ::stat(node_.c_str(), &now) == 0 && now.st_dev == nodeDevice_ && now.st_ino == nodeInode_;
  return nodeThere ? code : ENODEV;
}

bool HidTransport::readReport(std::uint8_t* report, bool& received) {
  received = false;
  if (error_ != 0) return false;
  if (fd_ < 0) {
    recordError(kErrorNotOpen);
    return false;
  }
  std::uint8_t buffer[kReadBufferLength];
  const ssize_t length = ::read(fd_, buffer, sizeof buffer);
  if (length < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return true;
    recordError(deviceFailure(errno));
    return false;
  }
  // hidraw hands out whole reports, never an empty read; anything but 64
  // bytes (end of file included) is a report this host cannot take.
  if (static_cast<std::size_t>(length) != kReportLength) {
    recordError(kErrorWrongReportLength);
    return false;
  }
  std::memcpy(report, buffer, kReportLength);
  received = true;
  return true;
}

ReportSignal HidTransport::reportSignal() {
  if (fd_ < 0) return {};
  ReportSignal signal;
  signal.kind = ReportSignal::Kind::descriptor;
  signal.handle = fd_;
  return signal;
}

bool HidTransport::sendFeature(const std::uint8_t* report) {
  if (fd_ < 0) {
    recordError(kErrorNotOpen);
    return false;
  }
  if (error_ != 0) return false;
  if (featurePending_) {
    recordError(kErrorFeatureBusy);
    return false;
  }
  if (const int failure = sender_.start(fd_, report); failure != 0) {
    recordError(failure);
    return false;
  }
  featurePending_ = true;
  return true;
}

bool HidTransport::poll() {
  int result = 0;
  if (featurePending_ && sender_.collect(result)) {
    featurePending_ = false;
    if (result != 0) recordError(deviceFailure(result));
  }
  return error_ == 0;
}

bool HidTransport::close(std::uint32_t /*timeoutMs*/) {
  // A transfer still in flight is the sender's now; nothing of this object
  // is touched by it any more.
  sender_.stop();
  featurePending_ = false;
  if (fd_ >= 0) {
    // Closing the last descriptor releases the flock and drops any report
    // the kernel still queued for this reader.
    ::close(fd_);
    fd_ = -1;
  }
  return true;
}

}  // namespace pelmora
