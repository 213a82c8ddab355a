// The supervisor's pacing between sessions: "No Device", device errors shown
// once per cycle, the 10 s rotation, and stop within every wait.
#include <gtest/gtest.h>

#include "sim/sim_bus.h"
#include "sim/virtual_clock.h"
#include "sim/forwarding_transport.h"
#include "worker_harness.h"

namespace pelmora {
namespace {

using testing::WorkerEvent;
using testing::WorkerHarness;

struct ListOnly {
  sim::VirtualClock clock;
  DeviceList list;
  int enumerations = 0;

  ConnectionHooks hooks() {
    ConnectionHooks h;
    h.enumerate = [this] {
      ++enumerations;
      return list;
    };
    h.now = [this] { return clock.now(); };
    h.wait = [this](std::uint32_t ms) { return clock.wait(ms); };
    return h;
  }
};

std::vector<std::pair<std::uint64_t, std::string>> statusTimeline(const WorkerHarness& h, std::uint64_t t0) {
  std::vector<std::pair<std::uint64_t, std::string>> out;
  for (const WorkerEvent& e : h.events()) {
    if (e.kind == WorkerEvent::Kind::Status) out.emplace_back(e.timeMs - t0, e.text);
  }
  return out;
}

TEST(Supervisor, NoDeviceIsReadAgainEveryTenSecondsAndStopEndsTheWait) {
  ListOnly env;
  WorkerHarness h(env.hooks());
  const std::uint64_t t0 = env.clock.now();
  h.stopAt(t0 + 35000);
  h.run();
  EXPECT_EQ(env.enumerations, 4);  // 0, 10 s, 20 s, 30 s
  EXPECT_EQ(statusTimeline(h, t0), (std::vector<std::pair<std::uint64_t, std::string>>{
                                       {0, "No Device"}, {10000, "No Device"}, {20000, "No Device"},
                                       {30000, "No Device"}}));
  // run returned within the wait that saw the stop, not at its end (40 s).
  EXPECT_EQ(env.clock.now(), t0 + 35000);
}

TEST(Supervisor, DeviceErrorsShowOnceThenTakeTurnsEachCycle) {
  ListOnly env;
  env.list = {{u"/dev/a", u"", "Invalid Serial\nEmpty"}, {u"/dev/b", u"X", "Unsupported Protocol\nReport Size"}};
  WorkerHarness h(env.hooks());
  const std::uint64_t t0 = env.clock.now();
  h.stopAt(t0 + 24500);
  h.run();
  const std::string empty = "Invalid Serial\nEmpty";
  const std::string size = "Unsupported Protocol\nReport Size";
  EXPECT_EQ(statusTimeline(h, t0), (std::vector<std::pair<std::uint64_t, std::string>>{
                                       {0, empty}, {1000, size},                               // report pass
                                       {2000, empty}, {4000, size}, {6000, empty}, {8000, size}, {10000, empty},
                                       {12000, empty}, {13000, size},                          // next cycle
                                       {14000, empty}, {16000, size}, {18000, empty}, {20000, size},
                                       {22000, empty}, {24000, empty}}));
}

TEST(Supervisor, DuplicateSerialsAreNeverOpened) {
  ListOnly env;
  const std::string dup = "Invalid Serial\nDuplicate";
  env.list = {{u"/dev/a", u"S", dup}, {u"/dev/b", u"S", dup}};
  int transports = 0;
  ConnectionHooks hooks = env.hooks();
  hooks.createTransport = [&transports] {
    ++transports;
    return std::unique_ptr<IHidTransport>();
  };
  WorkerHarness h(hooks);
  const std::uint64_t t0 = env.clock.now();
  h.stopAt(t0 + 30000);
  h.run();
  EXPECT_EQ(transports, 0);
  const auto timeline = statusTimeline(h, t0);
  std::vector<std::uint64_t> times;
  for (const auto& [t, text] : timeline) {
    EXPECT_EQ(text, dup);
    times.push_back(t);
  }
  EXPECT_EQ(times, (std::vector<std::uint64_t>{0, 1000, 2000, 4000, 6000, 8000, 10000, 12000, 13000, 14000, 16000,
                                               18000, 20000, 22000, 24000, 25000, 26000, 28000}));
}

TEST(Supervisor, StopDuringDeviceErrorOrRotationReturnsPromptly) {
  for (std::uint64_t stopAfter : {500u, 1500u, 3000u, 11999u}) {
    ListOnly env;
    env.list = {{u"/dev/a", u"", "Invalid Serial\nEmpty"}, {u"/dev/b", u"X", "Invalid Serial\nEmpty"}};
    WorkerHarness h(env.hooks());
    h.stopAt(env.clock.now() + stopAfter);
    h.run();
    EXPECT_EQ(env.clock.now(), h.stoppedAt()) << stopAfter;
  }
}

}  // namespace
}  // namespace pelmora

namespace pelmora {
namespace {

// Records which device paths the sessions opened, in order.
class OpenRecorder final : public sim::ForwardingTransport {
 public:
  OpenRecorder(std::unique_ptr<IHidTransport> inner, std::vector<std::u16string>& opened)
      : ForwardingTransport(std::move(inner)), opened_(opened) {}
  bool open(const std::u16string& path) override {
    opened_.push_back(path);
    return inner_->open(path);
  }

 private:
  std::vector<std::u16string>& opened_;
};

struct TwoDevices {
  sim::VirtualClock clock;
  sim::SimBus bus{clock};
  std::vector<std::u16string> opened;
  std::unique_ptr<testing::WorkerHarness> harness;

  TwoDevices() {
    // Added B first: the list is ordered by serial, not by plugging.
    bus.addDevice(u"/sim/b", u"B");
    bus.addDevice(u"/sim/a", u"A");
    ConnectionHooks hooks = bus.hooks(clock);
    hooks.createTransport = [this] { return std::make_unique<OpenRecorder>(bus.createTransport(), opened); };
    harness = std::make_unique<testing::WorkerHarness>(hooks);
  }
};

TEST(SupervisorWithDevices, TriesEveryDeviceInSerialOrderBeforeThePause) {
  TwoDevices env;
  // Both refuse the session for good: each attempt ends at once, no retry.
  for (const char16_t* path : {u"/sim/a", u"/sim/b"}) {
    env.bus.device(path)->faults.answerStatus(Command::OpenSession, kStatusBusy, sim::kAlways);
  }
  auto& h = *env.harness;
  const std::uint64_t t0 = env.clock.now();
  h.stopAt(t0 + 13500);
  h.run();
  SCOPED_TRACE(h.dump());
  EXPECT_EQ(env.opened, (std::vector<std::u16string>{u"/sim/a", u"/sim/b", u"/sim/a", u"/sim/b"}));
  const std::string busy = "Device Busy\nProtocol BUSY";
  // A (1 s of its error), B (1 s), then 10 s of the last error, then A again.
  const std::uint64_t secondA = h.firstStatusTime("Connecting...", t0 + 1);
  const std::uint64_t b = secondA;  // the second "Connecting..." is B's
  const std::uint64_t thirdConnect = h.firstStatusTime("Connecting...", b + 1);
  EXPECT_NEAR(static_cast<double>(b - t0), 1000.0, 20.0);
  EXPECT_NEAR(static_cast<double>(thirdConnect - t0), 12000.0, 40.0);
  EXPECT_EQ(h.worker().lastError, busy);
  EXPECT_EQ(h.countStatus(busy), 2u + 5u + 2u) << "two session ends, five 2 s turns, two more ends";
  EXPECT_EQ(env.bus.liveTransports(), 0);
}

TEST(SupervisorWithDevices, NoPictureOfTheFirstDeviceShowsThroughTheNext) {
  TwoDevices env;
  auto& h = *env.harness;
  // A streams, reconnects in place once (over its picture), then is unplugged.
  h.at(env.clock.now() + 3000, [&env] { env.bus.device(u"/sim/a")->link.pollFailures.remaining = 1; });
  h.at(env.clock.now() + 6000, [&env] { env.bus.unplug(u"/sim/a"); });
  h.stopWhen([&h] { return h.worker().lastReportedSerial == u"B"; });
  h.stopAt(env.clock.now() + 30000);
  h.run();
  SCOPED_TRACE(h.dump());
  ASSERT_EQ(env.opened, (std::vector<std::u16string>{u"/sim/a", u"/sim/a", u"/sim/b"}));
  std::vector<std::pair<std::string, bool>> screens;
  for (const auto& e : h.events()) {
    if (e.kind == testing::WorkerEvent::Kind::Status && e.text.ends_with("...")) {
      screens.emplace_back(e.text, e.onBlack);
    }
  }
  EXPECT_EQ(screens, (std::vector<std::pair<std::string, bool>>{
                         {"Connecting...", true}, {"Reconnecting...", false}, {"Connecting...", true}}));
  EXPECT_EQ(h.serialSequence(), (std::vector<std::string>{"A", "", "B", ""}));
}

}  // namespace
}  // namespace pelmora
