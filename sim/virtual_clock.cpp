#include "sim/virtual_clock.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace pelmora::sim {

int SimClock::subscribe(Listener listener) {
  const int token = nextToken_++;
  listeners_.push_back({token, std::move(listener)});
  return token;
}

void SimClock::unsubscribe(int token) {
  std::erase_if(listeners_, [token](const Entry& e) { return e.token == token; });
}

void SimClock::notify(std::uint64_t nowMs) {
  for (auto& entry : listeners_) entry.listener(nowMs);
}

bool VirtualClock::stopRequested() const {
  return stopRequested_ || now_ >= stopAtMs_ || (stopWhen_ && stopWhen_());
}

void VirtualClock::clearStop() {
  stopRequested_ = false;
  stopAtMs_ = UINT64_MAX;
  stopWhen_ = nullptr;
}

bool VirtualClock::wait(std::uint32_t ms) {
  ++waitCalls_;
  if (stopRequested()) return true;
  std::uint64_t step = ms;
  if (stopAtMs_ != UINT64_MAX) step = std::min(step, stopAtMs_ - now_);
  if (step > 0) advance(step);
  return stopRequested();
}

void VirtualClock::advance(std::uint64_t ms) {
  now_ += ms;
  notify(now_);
}

std::uint64_t RealClock::now() {
  const auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

bool RealClock::wait(std::uint32_t ms) {
  if (ms > 0) {
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stop_.load(); });
  }
  if (stop_.load()) return true;
  notify(now());
  return false;
}

void RealClock::sleep(std::uint32_t ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  notify(now());
}

void RealClock::requestStop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
}

void RealClock::clearStop() { stop_ = false; }

}  // namespace pelmora::sim
