// A session's worker on a thread with a 512 KiB stack, as secondary threads
// get on macOS: every large buffer of the worker, the session and the
// renderer must live off the stack, or this overflows.
#include <gtest/gtest.h>
#include <pthread.h>

#include <memory>

#include "bridge/session_worker.h"
#include "bridge_support.h"
#include "sim/sim_bus.h"
#include "sim/virtual_clock.h"

namespace pelmora {
namespace {

constexpr std::size_t kSmallStackBytes = 512 * 1024;
constexpr std::chrono::milliseconds kPatience(30000);

struct WorkerRun {
  std::shared_ptr<SessionBridgeState> state;
  SessionBridgeOptions options;
};

void* runWorker(void* argument) {
  auto* run = static_cast<WorkerRun*>(argument);
  runSessionWorker(run->state, std::move(run->options));
  return nullptr;
}

TEST(SmallStack, AWholeSimulatedSessionRunsOnA512KiBStack) {
  sim::RealClock clock;
  sim::SimBus bus(clock);
  bus.addDevice(u"sim0", u"SIM1", {});
  WorkerRun run{std::make_shared<SessionBridgeState>(), {}};
  run.options.hooks = bus.hooks();
  SessionBridgeState& state = *run.state;

  pthread_attr_t attributes;
  ASSERT_EQ(pthread_attr_init(&attributes), 0);
  ASSERT_EQ(pthread_attr_setstacksize(&attributes, kSmallStackBytes), 0);
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, &attributes, runWorker, &run), 0);
  pthread_attr_destroy(&attributes);

  int framesSeen = 0;
  const bool streamed = test::eventually(
      [&] {
        std::lock_guard lock(state.mutex);
        if (state.frameReady && state.serial == u"SIM1") ++framesSeen;
        state.frameReady = false;
        return framesSeen >= 4;
      },
      kPatience);
  state.stopRequested = true;
  state.wake.notify_all();
  ASSERT_EQ(pthread_join(thread, nullptr), 0);

  EXPECT_TRUE(streamed);
  EXPECT_TRUE(state.finished);
  EXPECT_EQ(state.counters.sessions, 1u);
  EXPECT_EQ(state.counters.failures, 0u);
  EXPECT_GT(state.counters.frames, 0u);
}

}  // namespace
}  // namespace pelmora
