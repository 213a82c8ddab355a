// The whole worker against a uhid synthesizer: a healthy session, a second
// worker that finds the device taken, and an unplug and re-plug that the
// worker rides out on its own.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "core/transport/platform.h"
#include "host_worker_support.h"
#include "linux/hidraw_transport.h"
#include "linux/utf16_conversion.h"
#include "trace/trace_replay.h"
#include "uhid_synth.h"

namespace pelmora::test {
namespace {

constexpr std::uint32_t kAllPages = (1u << kModeCount) - 1;
constexpr std::uint64_t kStopBudgetMs = 1900;

// The failure texts the worker went through, for the log and for a failed
// expectation.
std::string timeline(HostWorker& worker, std::uint64_t since) {
  std::string lines;
  for (const TimedText& e : worker.errors()) {
    lines += "+" + std::to_string(e.atMs - since) + " ms: " + e.text + "\n";
  }
  return lines;
}

TEST(KernelSession, StreamsEveryPageWithHeartbeatsWhileASecondWorkerFindsTheDeviceBusy) {
  sim::DeviceConfig config;
  config.modeCycleMs = 500;
  UhidSynth synth({.serial = "KG-S"}, config);
  ASSERT_FALSE(synth.waitForNode().empty());
  const std::uint64_t start = steadyMs();
  HostWorker worker;
  ASSERT_TRUE(waitFor([&] { return worker.serial() == u"KG-S"; }, 10000));
  const std::uint64_t connected = steadyMs();

  HostWorker rival;
  EXPECT_TRUE(waitFor([&] { return rival.errorSeenAt("Device Busy\nError 11") != 0; }, 5000));
  EXPECT_TRUE(rival.serial().empty());
  EXPECT_LE(rival.stop(), kStopBudgetMs);

  EXPECT_TRUE(waitFor([&] { return worker.modesRendered() == kAllPages; }, 15000)) << worker.modesRendered();
  const std::uint64_t streamedMs = steadyMs() - connected;
  const std::uint64_t heartbeats = synth.with([](sim::SimDevice& d) { return d.counters().heartbeats; });
  EXPECT_GE(heartbeats, streamedMs / 1000);
  EXPECT_EQ(worker.serial(), u"KG-S");

  const std::uint64_t stopMs = worker.stop();
  EXPECT_LE(stopMs, kStopBudgetMs);
  // The goodbye was handed over as the worker let go; it still arrives.
  EXPECT_TRUE(waitFor([&] { return synth.with([](sim::SimDevice& d) { return d.counters().sessionsClosed; }) == 1; },
                      2000));
  const WorkerStatistics& s = worker.statistics();
  EXPECT_EQ(s.sessions, 1u);
  EXPECT_EQ(s.failures, 0u);
  EXPECT_GT(s.frames, streamedMs / 200);
  std::printf("connected after %llu ms; %llu frames, %llu heartbeats in %llu ms; largest loop gap %llu ms, "
              "read burst %llu ms; stop took %llu ms\n",
              static_cast<unsigned long long>(connected - start), static_cast<unsigned long long>(s.frames),
              static_cast<unsigned long long>(s.heartbeats), static_cast<unsigned long long>(streamedMs),
              static_cast<unsigned long long>(s.maxLoopGapMs), static_cast<unsigned long long>(s.maxReadBurstMs),
              static_cast<unsigned long long>(stopMs));
  std::printf("%s", timeline(worker, start).c_str());
}

TEST(KernelSession, UnplugMidStreamThenReplugReconnectsThroughTheDeviceWatchingWait) {
  UhidSynth synth({.serial = "KG-R"});
  ASSERT_FALSE(synth.waitForNode().empty());
  HostWorker worker;
  ASSERT_TRUE(waitFor([&] { return worker.serial() == u"KG-R"; }, 10000));
  usleep(1000000);

  const std::uint64_t unplugged = steadyMs();
  synth.unplug();
  EXPECT_TRUE(waitFor([&] { return worker.sawDeviceGone(); }, 2000))
      << timeline(worker, unplugged);
  EXPECT_TRUE(waitFor([&] { return worker.serial().empty(); }, 500));
  usleep(1500000);

  const std::uint64_t replugged = steadyMs();
  synth.replug();
  ASSERT_TRUE(waitFor([&] { return worker.serial() == u"KG-R"; }, 5000));
  const std::uint64_t reconnectedMs = steadyMs() - replugged;
  EXPECT_TRUE(waitFor([&] { return worker.framesRendered() > 0; }, 1000));

  EXPECT_LE(worker.stop(), kStopBudgetMs);
  const WorkerStatistics& s = worker.statistics();
  EXPECT_EQ(s.sessions, 2u);
  EXPECT_EQ(s.failures, 1u);
  std::printf("unplug seen; re-plugged device streaming again after %llu ms\n",
              static_cast<unsigned long long>(reconnectedMs));
  std::printf("%s", timeline(worker, unplugged).c_str());
}

// The device takes every command but never completes a feature transfer:
// the kernel holds the ioctl until its own time-out. The worker must not
// notice more than its request deadline, and a stop must not wait for it.
TEST(KernelSession, ADeviceThatNeverAnswersAFeatureReportTimesOutOnTimeAndStopsWithinBudget) {
  UhidSynth synth({.serial = "KG-T"});
  synth.with([](sim::SimDevice& d) { d.link.featureStuck = true; });
  const std::string node = synth.waitForNode();
  ASSERT_FALSE(node.empty());
  // Another HID device, none of ours. It is plugged in first: while a
  // transfer is stuck the kernel holds up adding a node, too.
  UhidSynth other({.vendor = 0x1234, .serial = "KG-U"});
  const std::string otherNode = other.waitForNode();
  ASSERT_FALSE(otherNode.empty());
  HostWorker worker;
  ASSERT_TRUE(waitFor([&] { return worker.errorSeenAt("Connection Error\nFeature I/O Timeout") != 0; }, 6000))
      << timeline(worker, synth.counters().firstSetReportMs);
  const std::uint64_t sentAt = synth.counters().firstSetReportMs;
  const std::uint64_t timeoutAt = worker.errorSeenAt("Connection Error\nFeature I/O Timeout");
  EXPECT_GE(timeoutAt - sentAt, 1800u);
  EXPECT_LE(timeoutAt - sentAt, 2500u);

  const std::uint64_t stopMs = worker.stop();
  EXPECT_LE(stopMs, kStopBudgetMs);
  const std::uint64_t stoppedAt = steadyMs();
  // The loop kept turning while the transfer hung in the kernel.
  EXPECT_LT(worker.statistics().maxLoopGapMs, 500u);

  // The abandoned transfer still holds the node until the kernel gives up;
  // meanwhile opens of it, and of any other node, are refused at once.
  const bool heldStill = steadyMs() < sentAt + 4500;
  HidTransport later;
  for (const std::string& path : {node, otherNode}) {
    const std::uint64_t before = steadyMs();
    const bool opened = later.open(utf8ToUtf16(path));
    EXPECT_LT(steadyMs() - before, 500u) << path;
    if (heldStill) {
      EXPECT_FALSE(opened) << path;
      EXPECT_STREQ(openFailureTextOn(later.codeSystem(), later.errorCode()), "Device Busy");
    }
    later.close(0);
  }
  EXPECT_TRUE(waitFor([&] { return later.open(utf8ToUtf16(node)); }, 8000));
  const std::uint64_t freedAt = steadyMs();
  std::printf("feature timeout after %llu ms; largest loop gap %llu ms; stop took %llu ms at +%llu ms; "
              "node free again at +%llu ms\n",
              static_cast<unsigned long long>(timeoutAt - sentAt),
              static_cast<unsigned long long>(worker.statistics().maxLoopGapMs), static_cast<unsigned long long>(stopMs),
              static_cast<unsigned long long>(stoppedAt - sentAt),
              static_cast<unsigned long long>(freedAt - sentAt));
  std::printf("%s", timeline(worker, sentAt).c_str());
}

// The same stuck transfer on a device that answers again afterwards: the
// reconnect waits in place until the kernel lets the transfer go (its own
// time-out is 5 s), with the time-out the only failure on record. The worker
// records a trace, as `--record` does, that must replay to what it showed;
// the stage script replays it once more on the host's build.
TEST(KernelSession, AfterAFeatureTimeoutTheSessionStreamsAgainOnceTheKernelLetsTheTransferGo) {
  UhidSynth synth({.serial = "KG-W"});
  synth.with([](sim::SimDevice& d) { d.link.featureStuck = true; });
  ASSERT_FALSE(synth.waitForNode().empty());
  const std::string tracePath = "/tmp/linux_kernel.trace";
  HostWorker worker(tracePath);
  ASSERT_TRUE(waitFor([&] { return worker.errorSeenAt("Connection Error\nFeature I/O Timeout") != 0; }, 6000));
  synth.with([](sim::SimDevice& d) { d.link.featureStuck = false; });
  const std::uint64_t sentAt = synth.counters().firstSetReportMs;
  EXPECT_TRUE(waitFor([&] { return worker.serial() == u"KG-W"; }, 20000));
  const std::uint64_t streamingAt = steadyMs();
  usleep(1000000);
  EXPECT_LE(worker.stop(), kStopBudgetMs);
  EXPECT_LT(streamingAt - sentAt, 8000u);
  EXPECT_EQ(worker.errors().size(), 1u);
  std::printf("feature transfer stuck at +0 ms; streaming again at +%llu ms\n%s",
              static_cast<unsigned long long>(streamingAt - sentAt), timeline(worker, sentAt).c_str());

  const trace::Recording read = trace::readRecordingFile(tracePath);
  ASSERT_EQ(read.kind, trace::RecordingKind::trace) << read.error;
  const trace::ReplayResult replay = trace::replayTrace(read);
  EXPECT_TRUE(replay.complete) << replay.stopReason;
  EXPECT_EQ(replay.frameHashes, worker.frameHashes());
  EXPECT_EQ(replay.statistics.sessions, worker.statistics().sessions);
  EXPECT_EQ(replay.statistics.failures, worker.statistics().failures);
  // What the user saw fail is what the replay shows, in the same order.
  std::size_t next = 0;
  for (const TimedText& e : worker.errors()) {
    while (next < replay.statusTexts.size() && replay.statusTexts[next] != e.text) ++next;
    EXPECT_LT(next, replay.statusTexts.size()) << "the replay never shows \"" << e.text << "\"";
    ++next;
  }
  std::printf("trace: %zu calls, %zu bytes; replayed to %zu status texts and %zu frames\n", read.recordCount,
              read.fileBytes, replay.statusTexts.size(), replay.frameHashes.size());
  std::ifstream file(tracePath, std::ios::binary);
  const std::string trace((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_TRUE(sendToHost("/dev/ttyS1", trace));
  EXPECT_TRUE(sendToHost("/dev/ttyS2", trace::describeTraceOrigin(read) + trace::describeReplay(replay)));
}

}  // namespace
}  // namespace pelmora::test
