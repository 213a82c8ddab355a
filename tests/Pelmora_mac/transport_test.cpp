// The IOKit transport on the simulated IOKit: every case ends with the
// fake's books balanced (no leaked or over-released object, no handle kept,
// no call from the wrong thread).
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "Pelmora_mac/hid_discovery.h"
#include "Pelmora_mac/hid_transport.h"
#include "Pelmora_mac/run_loop_events.h"
#include "fake_iokit/fake_iokit_control.h"

namespace pelmora {
namespace {

constexpr std::uint32_t kNoDevice = 0xE00002C0;
constexpr std::uint32_t kBadArgument = 0xE00002C2;
constexpr std::uint32_t kExclusiveAccess = 0xE00002C5;
constexpr std::uint32_t kBadMessageId = 0xE00002C6;
constexpr std::uint32_t kTimeout = 0xE00002D6;
constexpr std::uint32_t kOverrun = 0xE00002E8;
constexpr std::uint32_t kNotResponding = 0xE00002ED;

Report inputReport(std::uint8_t fill) {
  Report report;
  report.fill(fill);
  report[0] = kInputReportId;
  return report;
}

Report commandReport() {
  Report report{};
  report[0] = kCommandReportId;
  for (std::size_t i = 1; i < report.size(); ++i) report[i] = static_cast<std::uint8_t>(i);
  return report;
}

class MacTransport : public ::testing::Test {
 protected:
  MacTransport() {
    fake_iokit::reset();
    fake_iokit::useManualClock();
  }
  void TearDown() override {
    transport.reset();
    second.reset();
    EXPECT_EQ(fake_iokit::problems(), std::vector<std::string>{});
    fake_iokit::reset();
  }
  std::uint64_t plug(const fake_iokit::DeviceSpec& spec = {}) { return fake_iokit::addDevice(spec); }
  bool openDevice(std::uint64_t entryId) { return transport->open(registryEntryPath(entryId)); }
  // Services the run loop until the transport has nothing more to say.
  std::vector<Report> drain() {
    std::vector<Report> reports;
    Report report;
    bool received = true;
    while (received) {
      transport->readReport(report.data(), received);
      if (received) reports.push_back(report);
    }
    return reports;
  }

  std::unique_ptr<HidTransport> transport = std::make_unique<HidTransport>();
  std::unique_ptr<HidTransport> second = std::make_unique<HidTransport>();
};

TEST_F(MacTransport, ReportsWithAndWithoutTheIdByteQueueAlike) {
  for (bool withId : {true, false}) {
    SCOPED_TRACE(withId ? "with ID byte" : "without ID byte");
    const std::uint64_t id = plug({.reportIdInBuffer = withId});
    ASSERT_TRUE(openDevice(id));
    for (std::uint8_t fill : {0x11, 0x22}) fake_iokit::pushReport(id, inputReport(fill).data());
    EXPECT_EQ(drain(), (std::vector<Report>{inputReport(0x11), inputReport(0x22)}));
    EXPECT_EQ(transport->errorCode(), 0u);
    EXPECT_TRUE(transport->close(0));
  }
}

// A malformed report ends the session rather than being skipped; what was
// queued before it is still handed out.
TEST_F(MacTransport, MalformedInputSetsItsCode) {
  struct Case {
    const char* name;
    std::uint32_t reportId;
    std::vector<std::uint8_t> bytes;
    IOReturn result;
    std::uint32_t code;
  };
  const std::vector<std::uint8_t> zeroFirst(64, 0);
  const Case cases[] = {
      {"report ID 2", 2, std::vector<std::uint8_t>(64, 2), kIOReturnSuccess, kBadMessageId},
      {"64 bytes, first byte 0", 1, zeroFirst, kIOReturnSuccess, kBadArgument},
      {"62 bytes", 1, std::vector<std::uint8_t>(62, 1), kIOReturnSuccess, kBadArgument},
      {"failed delivery", 1, std::vector<std::uint8_t>(64, 1), kIOReturnNotResponding, kNotResponding},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::uint64_t id = plug();
    ASSERT_TRUE(openDevice(id));
    fake_iokit::pushReport(id, inputReport(0x33).data());
    fake_iokit::pushRawReport(id, c.reportId, c.bytes, c.result);
    EXPECT_TRUE(transport->poll());
    EXPECT_FALSE(transport->poll());
    EXPECT_EQ(transport->errorCode(), c.code);
    Report report;
    bool received = false;
    EXPECT_FALSE(transport->readReport(report.data(), received));
    EXPECT_TRUE(received);
    EXPECT_EQ(report, inputReport(0x33));
    EXPECT_FALSE(transport->sendFeature(commandReport().data())) << "a failed transport starts nothing";
    EXPECT_TRUE(transport->close(0));
  }
}

TEST_F(MacTransport, QueueKeeps4096ReportsAndDropsTheNext) {
  const std::uint64_t id = plug();
  ASSERT_TRUE(openDevice(id));
  for (int i = 0; i < 4097; ++i) {
    fake_iokit::pushReport(id, inputReport(static_cast<std::uint8_t>(i)).data());
    transport->poll();
  }
  EXPECT_EQ(transport->errorCode(), kOverrun);
  const std::vector<Report> reports = drain();
  ASSERT_EQ(reports.size(), 4096u);
  EXPECT_EQ(reports.front(), inputReport(0));
  EXPECT_EQ(reports.back(), inputReport(static_cast<std::uint8_t>(4095)));
}

TEST_F(MacTransport, OneHolderPerPath) {
  const std::uint64_t id = plug();
  const std::u16string path = registryEntryPath(id);
  ASSERT_TRUE(transport->open(path));
  EXPECT_TRUE(transport->isReading()) << "reports come by callback";
  EXPECT_FALSE(second->open(path)) << "same process";
  EXPECT_EQ(second->errorCode(), kExclusiveAccess);
  EXPECT_FALSE(transport->open(path)) << "already open";
  EXPECT_TRUE(fake_iokit::isOpen(id));
  fake_iokit::pushReport(id, inputReport(0x44).data());
  EXPECT_EQ(drain().size(), 1u) << "the open device is untouched";

  EXPECT_TRUE(transport->close(0));
  EXPECT_TRUE(second->open(path));
  EXPECT_EQ(second->errorCode(), 0u);
  EXPECT_TRUE(second->close(0));

  fake_iokit::holdElsewhere(id, true);
  EXPECT_FALSE(transport->open(path)) << "another process";
  EXPECT_EQ(transport->errorCode(), kExclusiveAccess);
  fake_iokit::holdElsewhere(id, false);
  EXPECT_TRUE(transport->open(path)) << "a refused open gives the path back";
}

TEST_F(MacTransport, PathsThatNameNoDeviceOpenNothing) {
  const std::uint64_t id = plug();
  fake_iokit::unplug(id);
  for (const std::u16string& path : {std::u16string(u"12ab"), std::u16string(), registryEntryPath(id)}) {
    EXPECT_FALSE(transport->open(path));
    EXPECT_EQ(transport->errorCode(), kNoDevice);
    EXPECT_FALSE(second->open(path));
    EXPECT_EQ(second->errorCode(), kNoDevice) << "the path was given back";
  }
}

TEST_F(MacTransport, OneFeatureTransferOfReport2AtATime) {
  const std::uint64_t id = plug();
  fake_iokit::setTransfers(id, {.delaySeconds = 0.010});
  ASSERT_TRUE(openDevice(id));
  Report command = commandReport();
  ASSERT_TRUE(transport->sendFeature(command.data()));
  command.fill(0xEE);  // the caller's buffer is free at once
  EXPECT_TRUE(transport->isFeaturePending());
  EXPECT_FALSE(transport->sendFeature(commandReport().data()));
  EXPECT_FALSE(transport->close(0)) << "refused while the transfer is pending";
  EXPECT_FALSE(transport->close(60000)) << "whatever the limit";
  fake_iokit::advanceClock(0.010);
  EXPECT_TRUE(transport->poll());
  EXPECT_FALSE(transport->isFeaturePending());
  EXPECT_EQ(transport->errorCode(), 0u);

  const auto calls = fake_iokit::setReportCalls(id);
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].type, kIOHIDReportTypeFeature);
  EXPECT_EQ(calls[0].reportId, 2);
  const Report sent = commandReport();
  EXPECT_EQ(calls[0].report, std::vector<std::uint8_t>(sent.begin(), sent.end()));
  EXPECT_TRUE(transport->close(0));
}

// A transfer the device never acknowledges times out after one second, so a
// closing session is not held up for longer.
TEST_F(MacTransport, UnacknowledgedTransferEndsAfterOneSecond) {
  const std::uint64_t id = plug();
  fake_iokit::setTransfers(id, {.hold = true});
  ASSERT_TRUE(openDevice(id));
  ASSERT_TRUE(transport->sendFeature(commandReport().data()));
  fake_iokit::advanceClock(0.999);
  EXPECT_TRUE(transport->poll());
  EXPECT_FALSE(transport->close(0));
  fake_iokit::advanceClock(0.001);
  EXPECT_FALSE(transport->poll());
  EXPECT_EQ(transport->errorCode(), kTimeout);
  EXPECT_TRUE(transport->close(0));
}

TEST_F(MacTransport, DestructorWaitsOutAPendingTransfer) {
  const std::uint64_t id = plug();
  fake_iokit::setTransfers(id, {.hold = true});
  // Every look at the clock lets a millisecond pass.
  auto now = std::make_shared<double>(0.0);
  fake_iokit::setClock([now] { return *now += 0.001; });
  ASSERT_TRUE(openDevice(id));
  ASSERT_TRUE(transport->sendFeature(commandReport().data()));
  transport.reset();
  EXPECT_FALSE(fake_iokit::isOpen(id));
  EXPECT_GE(*now, 1.0);
  EXPECT_LT(*now, 1.1);
}

TEST_F(MacTransport, FailedTransfersSetTheirCode) {
  const std::uint64_t id = plug();
  ASSERT_TRUE(openDevice(id));
  fake_iokit::setTransfers(id, {.startResult = kIOReturnNotResponding, .startFailures = 1});
  EXPECT_FALSE(transport->sendFeature(commandReport().data()));
  EXPECT_FALSE(transport->isFeaturePending());
  EXPECT_EQ(transport->errorCode(), kNotResponding);
  EXPECT_TRUE(transport->close(0));

  ASSERT_TRUE(openDevice(id));
  EXPECT_EQ(transport->errorCode(), 0u) << "open clears the code";
  fake_iokit::setTransfers(id, {.completionResult = kIOReturnNotResponding, .completionFailures = 1});
  ASSERT_TRUE(transport->sendFeature(commandReport().data()));
  EXPECT_FALSE(transport->poll());
  EXPECT_FALSE(transport->isFeaturePending());
  EXPECT_EQ(transport->errorCode(), kNotResponding);
}

// The removal callback's code survives the aborted transfer's completion,
// which would otherwise hide that the device has gone.
TEST_F(MacTransport, RemovalIsNotHiddenByTheAbortedTransfer) {
  const std::uint64_t id = plug();
  fake_iokit::setTransfers(id, {.hold = true});
  ASSERT_TRUE(openDevice(id));
  ASSERT_TRUE(transport->sendFeature(commandReport().data()));
  fake_iokit::unplug(id);
  EXPECT_FALSE(transport->poll());
  EXPECT_EQ(transport->errorCode(), kNoDevice);
  EXPECT_TRUE(transport->isFeaturePending()) << "the completion comes in the next slice";
  EXPECT_FALSE(transport->poll());
  EXPECT_FALSE(transport->isFeaturePending());
  EXPECT_EQ(transport->errorCode(), kNoDevice);
  EXPECT_TRUE(transport->close(0));
}

// The worker's pause is one run of its run loop: it ends on the first
// report or removal when it waits for a report, on an interrupt (also one
// that came before it), and otherwise at its time; one that watches for
// devices ends in time for the next scan.
TEST_F(MacTransport, ThePauseOnTheRunLoopEndsOnAReportAnInterruptOrItsTime) {
  using namespace std::chrono_literals;
  using Outcome = DeviceEventOutcome;
  const std::uint64_t id = plug();
  ASSERT_TRUE(openDevice(id));
  RunLoopDeviceEvents events;
  const ReportSignal report = transport->reportSignal();
  EXPECT_EQ(report.kind, ReportSignal::Kind::runLoop);
  EXPECT_TRUE(report.coversFeature);
  const auto pushReport = [id] { fake_iokit::pushReport(id, inputReport(0x55).data()); };
  struct Case {
    const char* name;
    std::function<void()> before, during;
    bool forReport, watch;
    std::chrono::milliseconds timeout;
    Outcome outcome;
    std::chrono::milliseconds atLeast, below;
    std::size_t queued;
  };
  const Case cases[] = {
      {"nothing comes", {}, {}, true, false, 30ms, Outcome::Quiet, 30ms, 3000ms, 0},
      {"a report", {}, pushReport, true, false, 5000ms, Outcome::ReportReady, 20ms, 3000ms, 1},
      {"a report in a pause not for one", {}, pushReport, false, false, 60ms, Outcome::Quiet, 20ms, 3000ms, 1},
      {"an interrupt", {}, [&events] { events.interrupt(); }, true, false, 5000ms, Outcome::Interrupted, 20ms, 3000ms, 0},
      {"an earlier interrupt", [&events] { events.interrupt(); }, {}, true, false, 5000ms, Outcome::Interrupted, 0ms, 1000ms, 0},
      {"watching", {}, {}, false, true, 5000ms, Outcome::DevicesChanged, kRunLoopWatchInterval, 3000ms, 0},
      {"a removal", {}, [id] { fake_iokit::unplug(id); }, true, false, 5000ms, Outcome::ReportReady, 20ms, 3000ms, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.before) c.before();
    const auto start = std::chrono::steady_clock::now();
    std::thread other([&c] {
      std::this_thread::sleep_for(20ms);
      if (c.during) c.during();
    });
    const Outcome outcome = events.waitFor(c.timeout, c.watch, c.forReport ? report : ReportSignal{});
    const auto took = std::chrono::steady_clock::now() - start;
    other.join();
    EXPECT_EQ(outcome, c.outcome);
    EXPECT_GE(took, c.atLeast);
    EXPECT_LT(took, c.below) << "well before its time, with room for a busy machine";
    EXPECT_EQ(drain().size(), c.queued);
  }
  EXPECT_EQ(transport->errorCode(), kNoDevice);
}

}  // namespace
}  // namespace pelmora
