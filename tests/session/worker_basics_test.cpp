// The worker's own small operations: serial reports, status screens over
// the last picture, and the programming errors that must surface.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "core/protocol/connection_worker.h"
#include "core/render/status_screen.h"
#include "sim/virtual_clock.h"

namespace pelmora {
namespace {

struct Recorder {
  std::vector<std::u16string> serials;
  std::vector<OutputFrame> frames;
};

ConnectionWorker makeWorker(Recorder& rec, sim::VirtualClock& clock, ConnectionHooks hooks = {}) {
  hooks.now = [&clock] { return clock.now(); };
  return ConnectionWorker([&clock](std::uint32_t ms) { return clock.wait(ms); },
                          [&rec](const OutputFrame& f) { rec.frames.push_back(f); }, nullptr, nullptr,
                          std::move(hooks), [&rec](const std::u16string& s) { rec.serials.push_back(s); },
                          nullptr);
}

TEST(WorkerBasics, NotifySerialReportsOnlyChanges) {
  Recorder rec;
  sim::VirtualClock clock;
  ConnectionWorker worker = makeWorker(rec, clock);
  worker.notifySerial(u"A1");
  worker.notifySerial(u"A1");
  worker.notifySerial(u"A12");
  worker.notifySerial(u"");
  worker.notifySerial(u"");
  EXPECT_EQ(rec.serials, (std::vector<std::u16string>{u"A1", u"A12", u""}));
  EXPECT_EQ(worker.lastReportedSerial, u"");
}

TEST(WorkerBasics, StatusScreenKeepsLastPictureOnlyWhenAskedAndShown) {
  Recorder rec;
  sim::VirtualClock clock;
  ConnectionWorker worker = makeWorker(rec, clock);
  // The worker frame starts black; nothing shows through before a frame.
  worker.showStatus("Reconnecting...", true);
  OutputFrame black{};
  drawStatusScreen(black, "Reconnecting...", 15, false);
  EXPECT_EQ(rec.frames.back(), black);

  // Pretend a device picture was delivered.
  auto& pixels = const_cast<OutputFrame&>(worker.pixels());
  pixels.fill(0x00123456);
  worker.hasShownFrame = true;

  worker.showStatus("Reconnecting...", true);
  OutputFrame over = worker.pixels();
  drawStatusScreen(over, "Reconnecting...", 15, true);
  EXPECT_EQ(rec.frames.back(), over);
  EXPECT_EQ(rec.frames.back()[0], 0x00123456u);

  // A second status screen lands on the picture, not on the first screen.
  worker.showStatus("Connection Error\nI/O Cancellation Pending", true);
  const std::string text = "Connection Error\nI/O Cancellation Pending";
  OutputFrame second = worker.pixels();
  drawStatusScreen(second, text.data(), text.size(), true);
  EXPECT_EQ(rec.frames.back(), second);

  worker.showStatus("No Device", false);
  EXPECT_EQ(rec.frames.back()[0], 0u);
  for (std::uint32_t p : worker.pixels()) ASSERT_EQ(p, 0x00123456u);
}

TEST(WorkerBasics, MissingCallbacksAreProgrammingErrors) {
  sim::VirtualClock clock;
  ConnectionHooks hooks;
  hooks.now = [&clock] { return clock.now(); };
  hooks.enumerate = [] { return DeviceList{}; };
  ConnectionWorker noFrame([&clock](std::uint32_t ms) { return clock.wait(ms); }, nullptr, nullptr, nullptr,
                           hooks, nullptr, nullptr);
  EXPECT_THROW(noFrame.run(), std::bad_function_call);

  ConnectionWorker noWait(nullptr, [](const OutputFrame&) {}, nullptr, nullptr, hooks, nullptr, nullptr);
  EXPECT_THROW(noWait.run(), std::bad_function_call);
}

TEST(WorkerBasics, EmptyTransportFromHookEndsTheWorker) {
  Recorder rec;
  sim::VirtualClock clock;
  ConnectionHooks hooks;
  hooks.enumerate = [] { return DeviceList{{u"/dev/a", u"A", ""}}; };
  hooks.createTransport = [] { return std::unique_ptr<IHidTransport>(); };
  ConnectionWorker worker = makeWorker(rec, clock, hooks);
  try {
    worker.run();
    FAIL() << "run returned";
  } catch (const ConnectionError&) {
    FAIL() << "reported as a connection error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "Transport allocation failed");
  }
}

}  // namespace
}  // namespace pelmora

namespace pelmora {
namespace {

// With no enumerate, transport or clock hook the platform's own pieces are
// used; no synthesizer is attached to a build machine, so that is "No Device".
TEST(WorkerBasics, EmptyHooksFallBackToThePlatform) {
  std::vector<OutputFrame> frames;
  int waits = 0;
  ConnectionWorker worker([&waits](std::uint32_t) { return ++waits > 1; },
                          [&frames](const OutputFrame& f) { frames.push_back(f); }, nullptr, nullptr, {}, nullptr,
                          nullptr);
  const std::uint64_t before = worker.now();
  worker.run();
  EXPECT_GE(worker.now(), before);
  ASSERT_EQ(frames.size(), 1u);
  OutputFrame noDevice{};
  drawStatusScreen(noDevice, "No Device", 9, false);
  EXPECT_EQ(frames[0], noDevice);
}

}  // namespace
}  // namespace pelmora
