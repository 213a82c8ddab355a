// The window's refresh path without the toolkit: the worker wakes a main-loop
// source, the source's handler takes the newest frame into the picture. In a
// window open for hours none of this may allocate, per frame or per wake-up,
// and nothing may wake the loop while nothing changes.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <thread>

#include "bridge/session_bridge.h"
#include "linux/app/wake_source.h"
#include "linux/app/window_refresh.h"
#include "linux/app/window_title.h"
#include "sim/demo_synth.h"

// ---- Allocation counting, on the threads that ask for it --------------------
// GLib allocates through malloc and operator new ends in malloc, so counting
// malloc counts both. Under a sanitizer, which owns malloc, its allocation
// hook does the counting; otherwise malloc itself is wrapped.
namespace {
std::atomic<std::size_t> gAllocations{0};
thread_local bool tCounting = false;

void countAllocation() {
  if (tCounting) gAllocations.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define PELMORA_SANITIZER_HOOKS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define PELMORA_SANITIZER_HOOKS 1
#endif
#endif

#ifdef PELMORA_SANITIZER_HOOKS
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, std::size_t),
                                                         void (*)(const volatile void*));
namespace {
void onMalloc(const volatile void*, std::size_t) { countAllocation(); }
void onFree(const volatile void*) {}
const bool gHooked = __sanitizer_install_malloc_and_free_hooks(onMalloc, onFree) != 0;
}  // namespace
#else
#include "tests/app/libc_malloc_hook.h"
void noteAllocation() { countAllocation(); }
namespace {
const bool gHooked = true;
}  // namespace
#endif

namespace pelmora::app {
namespace {

class CountedScope {
 public:
  CountedScope() : start_(gAllocations.load()) { tCounting = true; }
  ~CountedScope() { tCounting = false; }
  CountedScope(const CountedScope&) = delete;
  CountedScope& operator=(const CountedScope&) = delete;
  std::size_t count() const { return gAllocations.load() - start_; }

 private:
  std::size_t start_;
};

// Proves the counter sees both kinds of allocation. Called through volatile
// pointers, which an optimiser cannot drop.
TEST(RefreshPath, AllocationCounterSeesMallocAndNew) {
  ASSERT_TRUE(gHooked);
  void* (*volatile allocate)(std::size_t) = std::malloc;
  void* (*volatile allocateNew)(std::size_t) = ::operator new;
  CountedScope counted;
  std::free(allocate(16));
  ::operator delete(allocateNew(16));
  EXPECT_EQ(counted.count(), 2u);
}

struct Loop {
  GMainContext* context = g_main_context_new();
  ~Loop() { g_main_context_unref(context); }
  // Runs whatever is ready, for `span`, without waiting; true when anything ran.
  bool anythingRunsWithin(std::chrono::milliseconds span) {
    const auto end = std::chrono::steady_clock::now() + span;
    bool ran = false;
    while (std::chrono::steady_clock::now() < end) {
      ran = g_main_context_iteration(context, FALSE) || ran;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return ran;
  }
};

TEST(RefreshPath, WakesFromAnotherThreadRunTheHandlerOnceAndAllocateNothing) {
  Loop loop;
  int handled = 0;
  WakeSource wake(loop.context, [&handled] { ++handled; });
  EXPECT_FALSE(loop.anythingRunsWithin(std::chrono::milliseconds(50)));

  std::thread([&wake] {
    for (int i = 0; i < 3; ++i) wake.wake();
  }).join();
  EXPECT_TRUE(loop.anythingRunsWithin(std::chrono::milliseconds(50)));
  EXPECT_EQ(handled, 1);
  {
    CountedScope counted;
    for (int i = 0; i < 1000; ++i) {
      wake.wake();
      g_main_context_iteration(loop.context, FALSE);
    }
    EXPECT_EQ(counted.count(), 0u);
  }
  EXPECT_EQ(handled, 1001);
  EXPECT_FALSE(loop.anythingRunsWithin(std::chrono::milliseconds(50)));
}

// The demo synthesizer's stream: a new picture with every frame.
TEST(RefreshPath, FramesWakeTheLoopAndAreTakenWithoutAllocating) {
  constexpr int kWarmUpFrames = 3;
  constexpr int kCountedFrames = 50;
  Loop loop;
  SessionBridgeOptions options;
  options.hooks = sim::demoHooks();
  SessionBridge bridge(std::move(options));
  auto picture = std::make_unique<OutputFrame>();
  picture->fill(0xABCDEF);
  WindowRefresh refresh(bridge, *picture);
  int wakeUps = 0;
  int frames = 0;
  WakeSource wake(loop.context, [&] {
    ++wakeUps;
    const WindowRefresh::Changes changes = refresh.refresh();
    frames += changes.picture ? 1 : 0;
  });
  bridge.setChangeListener([&wake] { wake.wake(); });

  while (frames < kWarmUpFrames) g_main_context_iteration(loop.context, TRUE);
  EXPECT_NE((*picture)[0], 0xABCDEFu);
  std::size_t allocations = 0;
  {
    CountedScope counted;
    while (frames < kWarmUpFrames + kCountedFrames) g_main_context_iteration(loop.context, TRUE);
    allocations = counted.count();
  }
  EXPECT_EQ(allocations, 0u);
  // A wake-up may find its frame already taken by the one before, rarely.
  EXPECT_LE(wakeUps, frames + frames / 5);

  bridge.stop();
  while (!bridge.finished()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  bridge.setChangeListener({});
  (void)loop.anythingRunsWithin(std::chrono::milliseconds(20));
  EXPECT_FALSE(loop.anythingRunsWithin(std::chrono::milliseconds(100)));
  refresh.refresh();  // the session's end took the device's serial away
  EXPECT_EQ(refresh.title(), kTitleBase);
}

TEST(RefreshPath, NoticeFollowsTheTitleUntilCleared) {
  SessionBridgeOptions options;
  options.hooks.enumerate = [] { return DeviceList{}; };
  SessionBridge bridge(std::move(options));
  auto picture = std::make_unique<OutputFrame>();
  WindowRefresh refresh(bridge, *picture);
  refresh.showNotice("Saved:/tmp/a.png");
  EXPECT_EQ(refresh.title(), std::string(kTitleBase) + " Saved:/tmp/a.png");
  EXPECT_TRUE(refresh.clearNotice());
  EXPECT_FALSE(refresh.clearNotice());
  EXPECT_EQ(refresh.title(), kTitleBase);
  bridge.stop();
  while (!bridge.finished()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

}  // namespace
}  // namespace pelmora::app
