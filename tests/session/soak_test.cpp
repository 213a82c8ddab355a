// Hours of simulated time against the simulated synthesizer with faults and
// unplugs thrown in at random; afterwards the worker must stream again, hold
// at most one transport, and allocate nothing per delivered frame.
//
// The short run (ctest) covers a few virtual minutes. For a long run set
// PELMORA_SOAK_MINUTES (virtual minutes) and PELMORA_SOAK_SEED, e.g.
//   PELMORA_SOAK_MINUTES=600 ./session_soak
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <new>
#include <utility>
#include <string>
#include <vector>

#include "core/protocol/connection_worker.h"
#include "sim/sim_bus.h"
#include "sim/sim_device.h"
#include "sim/sim_random.h"
#include "sim/virtual_clock.h"
#include "sim/forwarding_transport.h"

// ---- Allocation counting ---------------------------------------------------
// Counts allocations made by the worker's own code: the simulator's work
// (inside the clock, the bus and the simulated transport) is paused out.
namespace {
std::atomic<std::uint64_t> gCoreAllocations{0};
std::atomic<std::int64_t> gLiveBlocks{0};
thread_local int tPaused = 0;
bool gCounting = false;

void* allocate(std::size_t size) {
  if (gCounting && tPaused == 0) ++gCoreAllocations;
  ++gLiveBlocks;
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p == nullptr) throw std::bad_alloc();
  return p;
}
void release(void* p) {
  if (p == nullptr) return;
  --gLiveBlocks;
  std::free(p);
}

struct Paused {
  Paused() { ++tPaused; }
  ~Paused() { --tPaused; }
  Paused(const Paused&) = delete;
  Paused& operator=(const Paused&) = delete;
};
}  // namespace

void* operator new(std::size_t size) { return allocate(size); }
void* operator new[](std::size_t size) { return allocate(size); }
void operator delete(void* p) noexcept { release(p); }
void operator delete[](void* p) noexcept { release(p); }
void operator delete(void* p, std::size_t) noexcept { release(p); }
void operator delete[](void* p, std::size_t) noexcept { release(p); }

namespace pelmora {
namespace {

// The simulated transport, with the simulator's share of every call paused
// out of the allocation count.
class PausingTransport final : public sim::ForwardingTransport {
 public:
  explicit PausingTransport(std::unique_ptr<IHidTransport> inner) : ForwardingTransport(std::move(inner)) {}
  ~PausingTransport() override {
    Paused p;
    inner_.reset();
  }
  bool open(const std::u16string& path) override {
    Paused p;
    return inner_->open(path);
  }
  bool readReport(std::uint8_t* report, bool& received) override {
    Paused p;
    return inner_->readReport(report, received);
  }
  bool sendFeature(const std::uint8_t* report) override {
    Paused p;
    return inner_->sendFeature(report);
  }
  bool poll() override {
    Paused p;
    return inner_->poll();
  }
  bool close(std::uint32_t timeoutMs) override {
    Paused p;
    return inner_->close(timeoutMs);
  }
};

std::uint64_t envNumber(const char* name, std::uint64_t fallback) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::strtoull(value, nullptr, 10) : fallback;
}

class Soak {
 public:
  explicit Soak(std::uint64_t seed) : random_(seed) {
    first_ = &bus_.addDevice(kFirst, u"S1", configFor(seed));
    second_ = &bus_.addDevice(kSecond, u"S2", configFor(seed + 1));
    bus_.unplug(kSecond);
    ConnectionHooks hooks = bus_.hooks(clock_);
    ConnectionHooks inner = hooks;
    hooks.enumerate = [inner] {
      Paused p;
      return inner.enumerate();
    };
    hooks.createTransport = [inner] {
      Paused p;
      return std::unique_ptr<IHidTransport>(std::make_unique<PausingTransport>(inner.createTransport()));
    };
    hooks.wait = [this](std::uint32_t ms) { return wait(ms); };
    worker_ = std::make_unique<ConnectionWorker>(
        nullptr, [this](const OutputFrame&) { onFrame(); },
        [this](const LcdModel&, const LcdCanvas&) { nextIsLcd_ = true; }, nullptr, hooks, nullptr,
        [this] { return std::exchange(resumePending_, false); });
  }

  // Faults for `faultMs`, then a clean stretch in which streaming must come
  // back, then a window that must allocate nothing per frame.
  void run(std::uint64_t faultMs) {
    start_ = clock_.now();
    faultsEnd_ = start_ + faultMs;
    nextFault_ = start_ + 5000;
    worker_->run();
  }

  std::uint64_t virtualMinutes() { return (clock_.now() - start_) / 60000; }
  std::uint64_t faultsInjected = 0;
  std::map<std::string, std::uint64_t> injected;
  std::uint64_t lcdFrames = 0;
  std::uint64_t statusFrames = 0;
  int maxLiveTransports = 0;
  std::int64_t liveBlocksAtQuarter = -1;
  std::int64_t liveBlocksAtFaultsEnd = -1;
  bool recovered = false;
  bool probeCounted = false;
  std::uint64_t recoveredAfterMs = 0;
  std::uint64_t windowFrames = 0;
  std::uint64_t windowAllocations = 0;
  const WorkerStatistics& statistics() const { return worker_->statistics(); }
  int liveTransports() const { return bus_.liveTransports(); }

 private:
  static constexpr const char16_t* kFirst = u"/sim/1";
  static constexpr const char16_t* kSecond = u"/sim/2";
  static constexpr std::uint64_t kRecoveryLimitMs = 60000;
  static constexpr std::uint64_t kWarmUpMs = 5000;
  static constexpr std::uint64_t kWindowMs = 20000;

  static sim::DeviceConfig configFor(std::uint64_t seed) {
    sim::DeviceConfig config;
    config.seed = seed;
    config.modeCycleMs = 3000;
    config.debugLines = (seed % 2) == 0;
    return config;
  }

  void onFrame() {
    if (std::exchange(nextIsLcd_, false)) {
      ++lcdFrames;
      lastLcd_ = clock_.now();
    } else {
      ++statusFrames;
    }
  }

  bool wait(std::uint32_t ms) {
    {
      Paused p;
      clock_.wait(ms);
    }
    maxLiveTransports = std::max(maxLiveTransports, bus_.liveTransports());
    const std::uint64_t t = clock_.now();
    if (liveBlocksAtQuarter < 0 && t >= start_ + (faultsEnd_ - start_) / 4) liveBlocksAtQuarter = gLiveBlocks;
    if (t < faultsEnd_) {
      Paused p;
      runUndos(t, false);
      if (t >= nextFault_) injectFault(t);
      return false;
    }
    return afterFaults(t);
  }

  bool afterFaults(std::uint64_t t) {
    if (liveBlocksAtFaultsEnd < 0) {
      Paused p;
      runUndos(t, true);
      clearAllFaults();
      liveBlocksAtFaultsEnd = gLiveBlocks;
    }
    if (!recovered) {
      // Streaming again: frames for a while without a status screen between.
      if (lcdFrames > 0 && t - lastLcd_ < 100 && statusFrames == statusAtLastCheck_ &&
          t - streamingSince_ >= kWarmUpMs) {
        recovered = true;
        recoveredAfterMs = t - faultsEnd_;
        windowStart_ = t;
        windowFramesBase_ = lcdFrames;
        gCounting = true;
        gCoreAllocations = 0;
        // Proves the counter is live. A direct call, because an optimiser may
        // drop a new-expression whose result is never used.
        ::operator delete(::operator new(sizeof(int)));
        probeCounted = gCoreAllocations == 1;
        gCoreAllocations = 0;
        return false;
      }
      if (statusFrames != statusAtLastCheck_ || t - lastLcd_ >= 100) {
        statusAtLastCheck_ = statusFrames;
        streamingSince_ = t;
      }
      return t - faultsEnd_ > kRecoveryLimitMs;
    }
    if (t - windowStart_ < kWindowMs) return false;
    gCounting = false;
    windowFrames = lcdFrames - windowFramesBase_;
    windowAllocations = gCoreAllocations;
    return true;
  }

  struct Undo {
    std::uint64_t at;
    std::function<void()> action;
  };

  void later(std::uint64_t at, std::function<void()> action) { undos_.push_back({at, std::move(action)}); }

  void runUndos(std::uint64_t t, bool all) {
    for (std::size_t i = 0; i < undos_.size();) {
      if (all || undos_[i].at <= t) {
        auto action = std::move(undos_[i].action);
        undos_.erase(undos_.begin() + static_cast<std::ptrdiff_t>(i));
        action();
      } else {
        ++i;
      }
    }
  }

  sim::SimDevice& someDevice() { return random_.chance(0.8) ? *first_ : *second_; }

  void injectFault(std::uint64_t t) {
    nextFault_ = t + random_.between(1000, 20000);
    ++faultsInjected;
    sim::SimDevice& device = someDevice();
    const std::uint64_t until = t + random_.between(500, 15000);
    const auto anyCommand = [this] { return static_cast<Command>(random_.between(1, 5)); };
    switch (random_.below(16)) {
      case 0: {
        const std::u16string path = &device == first_ ? kFirst : kSecond;
        if (bus_.isPlugged(path)) {
          note("unplug");
          bus_.unplug(path);
          later(until, [this, path] { bus_.replug(path); });
        } else {
          note("replug");
          bus_.replug(path);
        }
        break;
      }
      case 1:
        note("status");
        device.faults.answerStatus(anyCommand(), static_cast<std::uint8_t>(random_.between(1, 6)),
                                   static_cast<int>(random_.between(1, 3)));
        break;
      case 2:
        note("answer");
        device.faults.corruptAnswer(anyCommand(), static_cast<sim::AnswerFault>(random_.between(1, 6)),
                                    static_cast<int>(random_.between(1, 3)));
        break;
      case 3:
        note("stream paused");
        device.faults.streamPaused = true;
        later(until, [&device] { device.faults.streamPaused = false; });
        break;
      case 4:
        note("orphan frames");
        device.faults.orphanFrames = true;
        later(until + 30000, [&device] { device.faults.orphanFrames = false; });
        break;
      case 5:
        note("foreign report");
        device.faults.foreignReport.remaining = 1;
        break;
      case 6:
        note("fragments");
        device.fragmentFaults.dropRate = random_.chance(0.5) ? 0.01 : 0.0;
        device.fragmentFaults.repeatRate = random_.chance(0.5) ? 0.01 : 0.0;
        device.fragmentFaults.reorderRate = random_.chance(0.5) ? 0.01 : 0.0;
        device.fragmentFaults.corruptRate = random_.chance(0.5) ? 0.005 : 0.0;
        later(until, [&device] { device.fragmentFaults = {}; });
        break;
      case 7:
        note("open failure");
        device.link.openFailureCode =
            random_.chance(0.5) ? sim::kPlatformCodes.busy : sim::kPlatformCodes.accessDenied;
        device.link.openFailures.remaining = static_cast<int>(random_.between(1, 3));
        break;
      case 8:
        note("feature refused");
        device.link.featureRefusals.remaining = 1;
        break;
      case 9:
        note("feature slow");
        device.link.featureDelayMs = random_.between(100, 3000);
        later(until, [&device] { device.link.featureDelayMs = 0; });
        break;
      case 10:
        note("poll failure");
        device.link.pollFailures.remaining = 1;
        break;
      case 11:
        note("read failure");
        device.link.readFailureCode = random_.chance(0.5) ? sim::kPlatformCodes.gone : sim::kPlatformCodes.io;
        device.link.readFailures.remaining = 1;
        break;
      case 12:
        note("close refused");
        device.link.closeRefusals.remaining = static_cast<int>(random_.between(1, 50));
        break;
      case 13:
        note("power resume");
        resumePending_ = true;
        break;
      case 14:
        note("silence");
        device.faults.command(anyCommand()).silenceAfter = true;
        later(until, [&device] {
          for (auto& c : device.faults.commands) c.silenceAfter = false;
          device.faults.silenced = false;
        });
        break;
      case 15:
        note("feature stuck");
        device.link.featureStuck = true;
        later(t + random_.between(100, 6000), [&device] { device.link.featureStuck = false; });
        break;
    }
  }

  void note(const char* what) { ++injected[what]; }

  void clearAllFaults() {
    for (sim::SimDevice* device : {first_, second_}) {
      device->faults = {};
      device->fragmentFaults = {};
      device->link = {};
    }
    if (!bus_.isPlugged(kFirst)) bus_.replug(kFirst);
    if (bus_.isPlugged(kSecond)) bus_.unplug(kSecond);
    resumePending_ = false;
  }

  sim::VirtualClock clock_;
  sim::SimBus bus_{clock_};
  sim::SimRandom random_;
  sim::SimDevice* first_ = nullptr;
  sim::SimDevice* second_ = nullptr;
  std::unique_ptr<ConnectionWorker> worker_;
  std::vector<Undo> undos_;
  bool nextIsLcd_ = false;
  bool resumePending_ = false;
  std::uint64_t start_ = 0;
  std::uint64_t faultsEnd_ = 0;
  std::uint64_t nextFault_ = 0;
  std::uint64_t lastLcd_ = 0;
  std::uint64_t statusAtLastCheck_ = 0;
  std::uint64_t streamingSince_ = 0;
  std::uint64_t windowStart_ = 0;
  std::uint64_t windowFramesBase_ = 0;
};

TEST(Soak, SurvivesRandomFaultsAndStreamsWithoutAllocating) {
  const std::uint64_t minutes = envNumber("PELMORA_SOAK_MINUTES", 5);
  const std::uint64_t seed = envNumber("PELMORA_SOAK_SEED", 20261017);
  Soak soak(seed);
  soak.run(minutes * 60000);

  const WorkerStatistics& stats = soak.statistics();
  std::printf("soak: %llu virtual minutes, seed %llu, %llu faults injected\n",
              static_cast<unsigned long long>(soak.virtualMinutes()), static_cast<unsigned long long>(seed),
              static_cast<unsigned long long>(soak.faultsInjected));
  for (const auto& [what, count] : soak.injected) {
    std::printf("  %-16s %llu\n", what.c_str(), static_cast<unsigned long long>(count));
  }
  std::printf("  lcd frames %llu, status frames %llu, sessions %llu, failures %llu, heartbeats %llu\n",
              static_cast<unsigned long long>(soak.lcdFrames), static_cast<unsigned long long>(soak.statusFrames),
              static_cast<unsigned long long>(stats.sessions), static_cast<unsigned long long>(stats.failures),
              static_cast<unsigned long long>(stats.heartbeats));
  std::printf("  max loop gap %llu ms, max read burst %llu ms, live blocks %lld -> %lld\n",
              static_cast<unsigned long long>(stats.maxLoopGapMs),
              static_cast<unsigned long long>(stats.maxReadBurstMs),
              static_cast<long long>(soak.liveBlocksAtQuarter), static_cast<long long>(soak.liveBlocksAtFaultsEnd));
  std::printf("  recovered after %llu ms; %llu frames, %llu core allocations in the clean window\n",
              static_cast<unsigned long long>(soak.recoveredAfterMs),
              static_cast<unsigned long long>(soak.windowFrames),
              static_cast<unsigned long long>(soak.windowAllocations));

  EXPECT_GT(soak.faultsInjected, minutes);
  EXPECT_GT(stats.sessions, 1u);
  EXPECT_GT(stats.failures, 0u);
  EXPECT_TRUE(soak.recovered) << "streaming came back once the faults stopped";
  EXPECT_LE(soak.maxLiveTransports, 1);
  EXPECT_EQ(soak.liveTransports(), 0);
  EXPECT_LE(stats.maxReadBurstMs, 5u);
  EXPECT_GT(soak.windowFrames, 500u);
  EXPECT_TRUE(soak.probeCounted);
  EXPECT_EQ(soak.windowAllocations, 0u) << "no heap allocation per delivered frame";
  // Memory in use did not keep growing with the faults.
  EXPECT_LT(soak.liveBlocksAtFaultsEnd, soak.liveBlocksAtQuarter + 2000);
}

}  // namespace
}  // namespace pelmora
