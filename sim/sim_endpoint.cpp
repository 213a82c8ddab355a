#include "sim/sim_endpoint.h"

#include <algorithm>

namespace pelmora::sim {

SimEndpoint::SimEndpoint(std::size_t deviceQueueReports, std::size_t hostQueueReports)
    : pipe_(deviceQueueReports, hostQueueReports) {}

void SimEndpoint::advanceTo(std::uint64_t nowMs) {
  if (nowMs <= now_) return;
  if (!plugged_) {
    now_ = nowMs;
    return;
  }
  if (nowMs - now_ > kMaxCatchUpMs) now_ = nowMs - kMaxCatchUpMs;
  while (now_ < nowMs) {
    ++now_;
    step(now_);
    pipe_.tick(held_);
  }
}

std::uint64_t SimEndpoint::nextArrivalMs() const {
  if (pipe_.hostQueued() > 0) return now_;
  if (pipe_.deviceQueued() > 0) return now_ + 1;
  return std::max(nextOutputMs(), now_ + 1);
}

void SimEndpoint::plugIn(std::uint64_t nowMs) {
  if (nowMs > now_) now_ = nowMs;
  plugged_ = true;
  held_ = false;
  ++connection_;
  pipe_.clearAll();
  onPowerUp(now_);
}

void SimEndpoint::unplug() {
  plugged_ = false;
  held_ = false;
  pipe_.clearAll();
}

void SimEndpoint::hold() {
  held_ = true;
  pipe_.clearHost();
  onHostAttached(now_);
}

void SimEndpoint::release() {
  held_ = false;
  pipe_.clearHost();
}

void SimEndpoint::receiveFeature(const Report& report) {
  if (plugged_) onFeature(report, now_);
}

}  // namespace pelmora::sim
