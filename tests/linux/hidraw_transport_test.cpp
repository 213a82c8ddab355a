#include "linux/hidraw_transport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <condition_variable>
#include <mutex>
#include <cerrno>
#include <string>
#include <tuple>

#include "core/transport/platform.h"
#include "linux/utf16_conversion.h"
#include "temp_dir_support.h"

namespace pelmora {
namespace {

constexpr uid_t kNobody = 65534;

Report numberedReport(std::uint8_t fill) {
  Report r{};
  r.fill(fill);
  r[0] = kInputReportId;
  return r;
}

// A FIFO stands in for a hidraw node: it opens like one, reads without
// blocking, and keeps whole writes of up to a page together.
class FifoNode {
 public:
  FifoNode() : name_(dir_ / "hidraw0") {
    if (mkfifo(name_.c_str(), 0600) != 0) throw std::runtime_error("mkfifo");
    writer_ = ::open(name_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  }
  ~FifoNode() { ::close(writer_); }
  std::u16string path() const { return utf8ToUtf16(name_); }
  void write(const void* bytes, std::size_t length) const {
    ASSERT_EQ(::write(writer_, bytes, length), static_cast<ssize_t>(length));
  }
  void write(const Report& r) const { write(r.data(), r.size()); }

 private:
  test::TempDir dir_;
  std::string name_;
  int writer_ = -1;
};

TEST(HidrawTransport, OpenFailuresKeepTheSystemCode) {
  test::TempDir dir;
  HidTransport t;
  EXPECT_FALSE(t.open(utf8ToUtf16(dir / "hidraw9")));
  EXPECT_EQ(t.errorCode(), static_cast<std::uint32_t>(ENOENT));
  EXPECT_STREQ(openFailureTextOn(t.codeSystem(), t.errorCode()), "Open Failed");
  EXPECT_FALSE(t.isReading());
  EXPECT_TRUE(t.close(0));  // closing what never opened is fine
  Report r{};
  bool received = true;
  EXPECT_FALSE(t.readReport(r.data(), received));
  EXPECT_FALSE(received);
  EXPECT_FALSE(t.sendFeature(r.data()));
}

TEST(HidrawTransport, ReadsWholeReportsOneAtATimeWithoutWaiting) {
  FifoNode node;
  HidTransport t;
  ASSERT_TRUE(t.open(node.path()));
  EXPECT_EQ(t.errorCode(), 0u);
  EXPECT_TRUE(t.isReading());
  EXPECT_FALSE(t.isFeaturePending());

  Report r{};
  bool received = true;
  EXPECT_TRUE(t.readReport(r.data(), received));  // nothing there yet
  EXPECT_FALSE(received);
  for (std::uint8_t fill : {0x11, 0x22}) {
    node.write(numberedReport(fill));
    ASSERT_TRUE(t.readReport(r.data(), received));
    ASSERT_TRUE(received);
    EXPECT_EQ(r, numberedReport(fill));
  }
  EXPECT_TRUE(t.poll());
  EXPECT_TRUE(t.close(0));
  EXPECT_FALSE(t.isReading());
}

TEST(HidrawTransport, WrongLengthSetsAStickyErrorThatOnlyOpenClears) {
  for (std::size_t length : {std::size_t{10}, std::size_t{100}}) {
    FifoNode node;
    HidTransport t;
    ASSERT_TRUE(t.open(node.path()));
    const std::array<std::uint8_t, 100> junk{1};
    node.write(junk.data(), length);
    Report r{};
    bool received = true;
    EXPECT_FALSE(t.readReport(r.data(), received));
    EXPECT_FALSE(received);
    EXPECT_EQ(t.errorCode(), kErrorWrongReportLength);

    // Still failed even with a good report waiting, and the first code stays.
    node.write(numberedReport(0x33));
    EXPECT_FALSE(t.readReport(r.data(), received));
    EXPECT_FALSE(t.poll());
    EXPECT_FALSE(t.sendFeature(r.data()));
    EXPECT_EQ(t.errorCode(), kErrorWrongReportLength);
    EXPECT_FALSE(isDeviceGoneCodeOn(t.codeSystem(), t.errorCode()));

    EXPECT_TRUE(t.close(0));
    EXPECT_EQ(t.errorCode(), kErrorWrongReportLength);  // close keeps it
    ASSERT_TRUE(t.open(node.path()));
    EXPECT_EQ(t.errorCode(), 0u);
    EXPECT_TRUE(t.poll());
  }
}

TEST(HidrawTransport, EndOfFileIsNotAReport) {
  test::TempDir dir;
  const Report one = numberedReport(0x44);
  test::writeFile(dir / "hidraw0", std::string(one.begin(), one.end()));
  HidTransport t;
  ASSERT_TRUE(t.open(utf8ToUtf16(dir / "hidraw0")));
  Report r{};
  bool received = false;
  ASSERT_TRUE(t.readReport(r.data(), received));
  EXPECT_TRUE(received);
  EXPECT_EQ(r, one);
  EXPECT_FALSE(t.readReport(r.data(), received));
  EXPECT_FALSE(received);
  EXPECT_EQ(t.errorCode(), kErrorWrongReportLength);
}

// Polls until the transport has seen its feature transfer end.
void pollUntilSettled(HidTransport& t) {
  for (int i = 0; i < 2000 && t.isFeaturePending(); ++i) {
    t.poll();
    usleep(1000);
  }
}

TEST(HidrawTransport, FeatureIoctlOnANodeThatIsNotHidrawFailsThroughPoll) {
  FifoNode node;
  HidTransport t;
  ASSERT_TRUE(t.open(node.path()));
  const CommandReport command = buildCommand(static_cast<std::uint8_t>(Command::Hello), 7, 0);
  const CommandReport before = command;
  EXPECT_TRUE(t.sendFeature(command.data()));
  EXPECT_EQ(command, before);
  pollUntilSettled(t);
  EXPECT_FALSE(t.isFeaturePending());
  EXPECT_FALSE(t.poll());
  EXPECT_EQ(t.errorCode(), static_cast<std::uint32_t>(ENOTTY));
  bool received = true;
  Report r{};
  EXPECT_FALSE(t.readReport(r.data(), received));
}

// A feature transfer that takes as long as the test wants, like an ioctl
// waiting for a device that may never answer.
struct HeldTransfer {
  std::mutex mutex;
  std::condition_variable changed;
  bool released = false;
  int result = 0;
  int calls = 0;
  bool descriptorOpenAtEnd = false;
  Report seen{};

  FeatureTransfer function() {
    return [this](int fd, std::uint8_t* report, std::size_t length) {
      std::unique_lock lock(mutex);
      ++calls;
      std::copy(report, report + length, seen.begin());
      changed.notify_all();
      changed.wait(lock, [&] { return released; });
      descriptorOpenAtEnd = fcntl(fd, F_GETFD) != -1;
      return result;
    };
  }
  void release() {
    std::lock_guard lock(mutex);
    released = true;
    changed.notify_all();
  }
  void awaitCall() {
    std::unique_lock lock(mutex);
    changed.wait(lock, [&] { return calls > 0; });
  }
};

// A failed transfer whose node has gone meanwhile (an unplug under way)
// counts as the device gone, whatever its own code.
TEST(HidrawTransport, FeatureSendReturnsAtOnceAndPollReportsTheOutcome) {
  using Case = std::tuple<int, bool, int>;  // the transfer's result, node removed, code kept
  for (const auto& [outcome, nodeGone, kept] : {Case{0, false, 0}, Case{EPROTO, false, EPROTO},
                                               Case{EPROTO, true, ENODEV}, Case{EIO, true, EIO}}) {
    FifoNode node;
    HeldTransfer held;
    held.result = outcome;
    HidTransport t(held.function());
    ASSERT_TRUE(t.open(node.path()));
    CommandReport command = buildCommand(static_cast<std::uint8_t>(Command::Hello), 7, 0);
    const CommandReport sent = command;
    ASSERT_TRUE(t.sendFeature(command.data()));
    command.fill(0xEE);  // the sender has its own copy
    held.awaitCall();
    for (int i = 0; i < 3; ++i) {
      EXPECT_TRUE(t.isFeaturePending());
      EXPECT_TRUE(t.poll());
      usleep(2000);
    }
    if (nodeGone) ::unlink(utf16ToUtf8(node.path()).c_str());
    held.release();
    pollUntilSettled(t);
    EXPECT_FALSE(t.isFeaturePending());
    EXPECT_EQ(t.poll(), outcome == 0) << outcome;
    EXPECT_EQ(t.errorCode(), static_cast<std::uint32_t>(kept)) << outcome;
    EXPECT_EQ(held.seen, sent);
    EXPECT_TRUE(held.descriptorOpenAtEnd);
    if (outcome == 0) {  // the next transfer goes through the same thread
      EXPECT_TRUE(t.sendFeature(sent.data()));
      pollUntilSettled(t);
      EXPECT_EQ(held.calls, 2);
    }
  }
}

// The device never answers: close neither waits nor leaves the kernel a
// buffer of the transport's, and opens stay busy until the transfer gives up.
TEST(HidrawTransport, CloseLetsGoOfATransferInFlightAndTheNodeStaysBusyUntilItEnds) {
  FifoNode node;
  HeldTransfer held;
  held.result = EIO;
  const CommandReport command = buildCommand(static_cast<std::uint8_t>(Command::Hello), 7, 0);
  {
    HidTransport t(held.function());
    ASSERT_TRUE(t.open(node.path()));
    ASSERT_TRUE(t.sendFeature(command.data()));
    held.awaitCall();
    const std::uint64_t before = platformNowMs();
    EXPECT_TRUE(t.close(0));
    EXPECT_LT(platformNowMs() - before, 100u);
    EXPECT_FALSE(t.isFeaturePending());

    EXPECT_FALSE(t.open(node.path()));  // its own abandoned transfer holds the lock
    EXPECT_TRUE(isHeldByOwnTransferCodeOn(t.codeSystem(), t.errorCode()));
    EXPECT_STREQ(openFailureTextOn(t.codeSystem(), t.errorCode()), "Device Busy");
  }  // destroyed while the transfer is still in flight
  // The kernel would make any open wait for the stuck transfer: refused at
  // once, this node or another.
  FifoNode elsewhere;
  HidTransport other;
  for (const FifoNode* target : {&node, &elsewhere}) {
    EXPECT_FALSE(other.open(target->path()));
    EXPECT_STREQ(openFailureTextOn(other.codeSystem(), other.errorCode()), "Device Busy");
  }

  held.release();
  bool reopened = false;
  for (int i = 0; i < 2000 && !reopened; ++i) {
    reopened = other.open(node.path());
    if (!reopened) usleep(1000);
  }
  EXPECT_TRUE(reopened);
  EXPECT_TRUE(held.descriptorOpenAtEnd);
  EXPECT_EQ(other.errorCode(), 0u);
}

TEST(HidrawTransport, OnlyOneFeatureTransferAtATime) {
  FifoNode node;
  HeldTransfer held;
  HidTransport t(held.function());
  ASSERT_TRUE(t.open(node.path()));
  const CommandReport command = buildCommand(static_cast<std::uint8_t>(Command::Hello), 7, 0);
  ASSERT_TRUE(t.sendFeature(command.data()));
  EXPECT_FALSE(t.sendFeature(command.data()));
  EXPECT_EQ(t.errorCode(), kErrorFeatureBusy);
  EXPECT_FALSE(t.poll());
  held.release();
  pollUntilSettled(t);
  EXPECT_FALSE(t.isFeaturePending());
}

TEST(HidrawTransport, SecondOpenInThisProcessIsBusyUntilTheFirstLetsGo) {
  FifoNode node;
  HidTransport first;
  ASSERT_TRUE(first.open(node.path()));
  {
    HidTransport second;
    EXPECT_FALSE(second.open(node.path()));
    EXPECT_STREQ(openFailureTextOn(second.codeSystem(), second.errorCode()), "Device Busy");
    EXPECT_FALSE(first.open(node.path()));  // already open: refused, nothing changes
    EXPECT_TRUE(first.isReading());
    EXPECT_EQ(first.errorCode(), 0u);
    ASSERT_TRUE(first.close(0));
    EXPECT_TRUE(second.open(node.path()));
  }  // the destructor releases the lock
  EXPECT_TRUE(first.open(node.path()));
}

// The child holds the node open until the parent has tried it.
TEST(HidrawTransport, OpenByAnotherProcessIsBusy) {
  FifoNode node;
  int ready[2], done[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(done), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    HidTransport held;
    const char ok = held.open(node.path()) ? 'y' : 'n';
    (void)!::write(ready[1], &ok, 1);
    char c;
    (void)!::read(done[0], &c, 1);
    _exit(0);
  }
  char ok = 0;
  ASSERT_EQ(::read(ready[0], &ok, 1), 1);
  ASSERT_EQ(ok, 'y');
  HidTransport t;
  EXPECT_FALSE(t.open(node.path()));
  EXPECT_EQ(t.errorCode(), static_cast<std::uint32_t>(EWOULDBLOCK));
  EXPECT_STREQ(openFailureTextOn(t.codeSystem(), t.errorCode()), "Device Busy");
  EXPECT_FALSE(isHeldByOwnTransferCodeOn(t.codeSystem(), t.errorCode()));  // really busy: not waited for
  (void)!::write(done[1], "x", 1);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(t.open(node.path()));
  for (int fd : {ready[0], ready[1], done[0], done[1]}) ::close(fd);
}

// Root may open anything, so the attempt runs in a child that gave up root.
TEST(HidrawTransport, NodeWithoutPermissionIsAccessDenied) {
  test::TempDir dir;
  const std::string node = dir / "hidraw0";
  test::writeFile(node, "");
  ASSERT_EQ(chmod(node.c_str(), 0600), 0);
  ASSERT_EQ(chmod(dir.path().c_str(), 0755), 0);
  if (geteuid() != 0) {
    ASSERT_EQ(chmod(node.c_str(), 0), 0);
  }
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (geteuid() == 0 && (setgid(kNobody) != 0 || setuid(kNobody) != 0)) _exit(2);
    HidTransport t;
    const bool denied = !t.open(utf8ToUtf16(node)) && t.errorCode() == EACCES &&
                        std::string(openFailureTextOn(t.codeSystem(), t.errorCode())) == "Access Denied";
    _exit(denied ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST(LinuxPlatform, ErrorCodesMapToTheSessionTexts) {
  constexpr HostSystem kLinux = HostSystem::linuxOs;
  EXPECT_STREQ(openFailureTextOn(kLinux, EBUSY), "Device Busy");
  EXPECT_STREQ(openFailureTextOn(kLinux, EPERM), "Access Denied");
  EXPECT_STREQ(openFailureTextOn(kLinux, ENODEV), "Open Failed");
  EXPECT_STREQ(openFailureTextOn(kLinux, 0), "Open Failed");
  // What an unplugged hidraw node answers to read, ioctl and reopen.
  for (std::uint32_t gone : {EIO, ENODEV, ENOENT}) EXPECT_TRUE(isDeviceGoneCodeOn(kLinux, gone)) << gone;
  for (std::uint32_t kept : {0u, std::uint32_t{EAGAIN}, kErrorWrongReportLength, std::uint32_t{ENOTTY}})
    EXPECT_FALSE(isDeviceGoneCodeOn(kLinux, kept)) << kept;
}

TEST(LinuxPlatform, ClockIsMonotonicAndRandomVaries) {
  const std::uint64_t a = platformNowMs();
  usleep(20000);
  const std::uint64_t b = platformNowMs();
  EXPECT_GE(b - a, 19u);
  EXPECT_LT(b - a, 1000u);

  std::uint32_t first = 0, value = 0;
  ASSERT_TRUE(platformRandom32(first));
  bool differs = false;
  for (int i = 0; i < 8 && !differs; ++i) {
    ASSERT_TRUE(platformRandom32(value));
    differs = value != first;
  }
  EXPECT_TRUE(differs);
  EXPECT_NE(createPlatformTransport(), nullptr);
}

}  // namespace
}  // namespace pelmora
