#pragma once
// Time for the simulated synthesizer. The worker sees a clock only through
// its `now` and `wait` hooks; a SimClock offers exactly those, and tells its
// listeners (the simulated bus) whenever time has moved, so that devices
// produce the reports of the elapsed milliseconds. VirtualClock runs on
// simulated time (tests, soak runs); RealClock on the steady clock (demo).
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace pelmora::sim {

class SimClock {
 public:
  using Listener = std::function<void(std::uint64_t nowMs)>;

  virtual ~SimClock() = default;
  // Milliseconds of a monotonic clock.
  virtual std::uint64_t now() = 0;
  // Lets `ms` milliseconds pass; true when stop was requested (then it
  // returns at once, without letting time pass).
  virtual bool wait(std::uint32_t ms) = 0;
  // Lets `ms` milliseconds pass whatever the stop request says.
  virtual void sleep(std::uint32_t ms) = 0;

  // Listeners are called on the thread that calls wait, after time moved.
  int subscribe(Listener listener);
  void unsubscribe(int token);

 protected:
  void notify(std::uint64_t nowMs);

 private:
  struct Entry {
    int token;
    Listener listener;
  };
  std::vector<Entry> listeners_;
  int nextToken_ = 1;
};

// Simulated time: nothing passes except through wait and advance. Stop is
// requested explicitly, at a chosen time, or by a predicate checked at every
// wait.
class VirtualClock final : public SimClock {
 public:
  // Not 0: hosts treat 0 as "never happened" in places.
  static constexpr std::uint64_t kDefaultStartMs = 100000;

  explicit VirtualClock(std::uint64_t startMs = kDefaultStartMs) : now_(startMs) {}

  std::uint64_t now() override { return now_; }
  bool wait(std::uint32_t ms) override;
  void sleep(std::uint32_t ms) override { advance(ms); }
  // Moves time forward regardless of stop requests.
  void advance(std::uint64_t ms);

  void requestStop() { stopRequested_ = true; }
  void clearStop();
  // Waits end at `atMs` and report stop from then on.
  void stopAt(std::uint64_t atMs) { stopAtMs_ = atMs; }
  void stopWhen(std::function<bool()> predicate) { stopWhen_ = std::move(predicate); }
  bool stopRequested() const;

  std::uint64_t waitCalls() const { return waitCalls_; }

 private:
  std::uint64_t now_;
  bool stopRequested_ = false;
  std::uint64_t stopAtMs_ = UINT64_MAX;
  std::function<bool()> stopWhen_;
  std::uint64_t waitCalls_ = 0;
};

// The steady clock. wait sleeps, and may be cut short from any thread by
// requestStop.
class RealClock final : public SimClock {
 public:
  std::uint64_t now() override;
  bool wait(std::uint32_t ms) override;
  void sleep(std::uint32_t ms) override;
  void requestStop();
  void clearStop();
  bool stopRequested() const { return stop_.load(); }

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  std::atomic<bool> stop_{false};
};

}  // namespace pelmora::sim
