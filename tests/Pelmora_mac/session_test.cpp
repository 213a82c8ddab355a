// Whole sessions through the IOKit transport, on the simulated IOKit, with
// the simulated synthesizer behind it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include <CoreFoundation/CoreFoundation.h>

#include "Pelmora_mac/autorelease_pool.h"
#include "Pelmora_mac/hid_transport.h"
#include "core/transport/platform.h"
#include "sim/virtual_clock.h"
#include "trace/trace_recording.h"
#include "trace/trace_replay.h"
#include "sim_link_support.h"
#include "worker_harness.h"

namespace pelmora {
namespace {

using testing::WorkerHarness;

// The worker's pause on its run loop, on the virtual clock: a millisecond
// at a time, each followed by a slice of the loop, until a slice handled a
// report (or a removal or a feature's end).
ReportWaitFunction runLoopPause(WaitFunction wait, std::size_t& pauses) {
  return [wait = std::move(wait), &pauses](std::uint32_t ms, const ReportSignal& signal) {
    EXPECT_EQ(signal.kind, ReportSignal::Kind::runLoop);
    ++pauses;
    for (; ms > 0; --ms) {
      if (wait(1)) return true;
      AutoreleasePool pool;
      if (CFRunLoopRunInMode(kCFRunLoopDefaultMode, 0, true) == kCFRunLoopRunHandledSource) return false;
    }
    return false;
  };
}

class MacSession : public ::testing::Test {
 protected:
  MacSession() {
    fake_iokit::reset();
    fake_iokit::setClock([this] { return static_cast<double>(clock.now()) / 1000.0; });
    bus.addDevice(u"/sim/S1", u"S1");
    link = std::make_unique<testing::SimIokitLink>(bus, u"/sim/S1", fake_iokit::DeviceSpec{.serial = u"S1"});
    ConnectionHooks hooks = bus.hooks(clock);
    hooks.enumerate = enumerateDevices;
    hooks.createTransport = [] { return std::make_unique<HidTransport>(); };
    hooks.waitForReport = runLoopPause(hooks.wait, pauses);
    harness = std::make_unique<WorkerHarness>(std::move(hooks));
    t0 = clock.now();
  }
  void TearDown() override {
    harness.reset();
    EXPECT_EQ(fake_iokit::problems(), std::vector<std::string>{});
    fake_iokit::reset();
  }
  void runSession() {
    const DeviceList list = enumerateDevices();
    ASSERT_EQ(list.size(), 1u);
    ASSERT_EQ(list[0].error, "");
    harness->worker().runSession(list[0], list[0].serial);
  }

  sim::VirtualClock clock;
  sim::SimBus bus{clock};
  std::unique_ptr<testing::SimIokitLink> link;
  std::unique_ptr<WorkerHarness> harness;
  std::uint64_t t0 = 0;
  std::size_t pauses = 0;
};

TEST_F(MacSession, StreamsFramesAndSaysGoodbye) {
  harness->stopAt(t0 + 10000);
  runSession();
  const auto& stats = harness->worker().statistics();
  EXPECT_GT(harness->lcdFrames(), 50u);
  EXPECT_EQ(stats.sessions, 1u);
  EXPECT_EQ(stats.failures, 0u);
  EXPECT_GE(stats.heartbeats, 8u);
  EXPECT_EQ(harness->serialSequence(), (std::vector<std::string>{"S1", ""}));
  // About one pause per report: 1 ms pauses would make 10,000.
  EXPECT_GT(pauses, harness->lcdFrames());
  EXPECT_LT(pauses, 10000u / 3);
  EXPECT_FALSE(fake_iokit::isOpen(link->entryId()));
  const auto calls = fake_iokit::setReportCalls(link->entryId());
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back().report[7], static_cast<std::uint8_t>(Command::CloseSession));
}

// The removal reaches the transport in the run-loop slice of `poll`, before
// any read: the session ends at once, forgets the serial and does not try
// to reopen a device that is not there.
TEST_F(MacSession, UnplugEndsTheSessionWithoutReconnecting) {
  harness->at(t0 + 3000, [this] { bus.unplug(u"/sim/S1"); });
  harness->stopAt(t0 + 60000);
  const std::string text = "Connection Error\nFeature Completion Failed\nError 3758097088";
  harness->addKnownText(text);
  runSession();
  SCOPED_TRACE(harness->dump());
  EXPECT_EQ(harness->stoppedAt(), 0u) << "runSession ended by itself";
  EXPECT_EQ(harness->worker().lastError, text);
  EXPECT_EQ(harness->countStatus("Reconnecting..."), 0u);
  EXPECT_EQ(harness->statusSequence().back(), text);
  EXPECT_EQ(harness->serialSequence().back(), "");
  EXPECT_EQ(harness->worker().statistics().failures, 1u);
}

// A device that stops acknowledging feature reports holds a stopping worker
// up for the one-second transfer time-out, not longer.
TEST_F(MacSession, StopWithAnUnacknowledgedTransferFinishesWithinASecond) {
  fake_iokit::setClock([] {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
  });
  harness->at(t0 + 3000, [this] { fake_iokit::setTransfers(link->entryId(), {.hold = true}); });
  harness->stopAt(t0 + 3500);
  const auto start = std::chrono::steady_clock::now();
  runSession();
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GT(harness->lcdFrames(), 0u);
  EXPECT_LT(took, std::chrono::seconds(10)) << "bounded by the time-out, with room for a busy machine";
}

// The whole worker on the IOKit transport with an unplug, recorded as a
// trace, replays to what it showed. With PELMORA_TRACE_OUT set the trace is
// also kept there: this is how tests/traces/mac_unplug.trace is made.
TEST_F(MacSession, ATraceOfAnUnplugReplaysToWhatTheSessionShowed) {
  const char* keep = std::getenv("PELMORA_TRACE_OUT");
  const std::string path = keep ? keep : (std::filesystem::temp_directory_path() / "pelmora_mac_unplug.trace").string();
  std::vector<std::uint64_t> hashes;
  WorkerStatistics statistics;
  {
    std::string error;
    trace::TraceHeader header = trace::ownHeader();
    header.system = HostSystem::macOs;  // the transport and its codes are the Mac's, whatever builds it
    auto writer = trace::TraceWriter::create(path, header, error);
    ASSERT_TRUE(writer) << error;
    trace::TraceRecording recording(*writer);
    ConnectionHooks hooks = bus.hooks(clock);
    hooks.enumerate = enumerateDevices;
    hooks.createTransport = [] { return std::make_unique<HidTransport>(); };
    hooks.waitForReport = runLoopPause(hooks.wait, pauses);
    hooks.wait = [this, wait = hooks.wait](std::uint32_t ms) {
      if (clock.now() >= t0 + 2000 && bus.isPlugged(u"/sim/S1")) bus.unplug(u"/sim/S1");
      return wait(ms);
    };
    ConnectionWorker worker(
        {}, [&](const OutputFrame& frame) { hashes.push_back(trace::frameHash(frame)); }, {}, {},
        std::move(hooks), {}, {});
    worker.setRandomSource([](std::uint32_t& out) { return (out = 0x5EED0002), true; });
    worker.setRecorder(&recording);
    clock.stopAt(t0 + 4000);
    worker.run();
    statistics = worker.statistics();
  }
  const trace::Recording read = trace::readRecordingFile(path);
  if (!keep) std::filesystem::remove(path);
  ASSERT_EQ(read.kind, trace::RecordingKind::trace) << read.error;
  const trace::ReplayResult replay = trace::replayTrace(read);
  EXPECT_TRUE(replay.complete) << replay.stopReason;
  EXPECT_EQ(replay.frameHashes, hashes);
  EXPECT_EQ(replay.statistics.failures, statistics.failures);
  EXPECT_EQ(replay.statistics.frames, statistics.frames);
  EXPECT_EQ(replay.statusTexts.back(), "No Device") << trace::describeReplay(replay);
}

}  // namespace
}  // namespace pelmora
