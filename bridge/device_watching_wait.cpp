#include "bridge/device_watching_wait.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "core/protocol/session_engine.h"

namespace pelmora {

using Clock = std::chrono::steady_clock;

DeviceWatchingWait::DeviceWatchingWait(std::shared_ptr<SessionBridgeState> state, DeviceScan scan)
    : state_(std::move(state)), scan_(std::move(scan)), lastScan_(Clock::now()) {}

bool DeviceWatchingWait::operator()(std::uint32_t ms) {
  if (ms == 0) return state_->stopRequested.load();
  if (state_->deviceEvents) return eventWait(*state_->deviceEvents, ms);
  return slicedWait(ms, ms >= kScanningWaitMinMs);
}

bool DeviceWatchingWait::operator()(std::uint32_t ms, const ReportSignal& signal) {
  const std::uint32_t quiet = std::min(ms, signal.quietMs);
  if (signal.kind == ReportSignal::Kind::dueIn) {
    ms = std::min(ms, signal.dueEndMs());
  } else if (quiet > 0) {
    // Reports that land meanwhile wait for the end of the quiet part; a
    // stop or resume that ends it early ends the whole wait.
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(quiet);
    if (state_->deviceEvents ? eventWait(*state_->deviceEvents, quiet) : slicedWait(quiet, false)) return true;
    if (Clock::now() < end) return false;
    ms -= quiet;
  }
  if (ms == 0) return state_->stopRequested.load();
  if (!state_->deviceEvents) return slicedWait(signal.kind == ReportSignal::Kind::dueIn ? ms : std::min(ms, kIdleWaitMs), false);
  return eventWait(*state_->deviceEvents, ms, &signal);
}

bool DeviceWatchingWait::slicedWait(std::uint32_t ms, bool watch) {
  SessionBridgeState& s = *state_;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
  // Slices only for the device scans: a stop or resume is seen under the
  // mutex its signaller takes, so none is missed between look and sleep.
  const Clock::duration slice = watch ? Clock::duration(std::chrono::milliseconds(kWaitSliceMs)) : deadline - Clock::now();
  for (;;) {
    if (s.stopRequested.load()) return true;
    const Clock::time_point now = Clock::now();
    if (now >= deadline) return s.stopRequested.load();
    {
      std::unique_lock lock(s.mutex);
      s.wake.wait_for(lock, std::min(slice, deadline - now),
                      [&s] { return s.stopRequested.load() || s.resumeRequested.load(); });
    }
    if (watch && devicesChanged()) return s.stopRequested.load();
    if (s.resumeRequested.load()) return s.stopRequested.load();
  }
}

bool DeviceWatchingWait::eventWait(IDeviceEvents& events, std::uint32_t ms, const ReportSignal* report) {
  const std::atomic<bool>& stop = state_->stopRequested;
  const bool watch = report == nullptr && ms >= kScanningWaitMinMs;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
  std::optional<Clock::time_point> scanAt;
  Clock::time_point firstEvent;
  for (;;) {
    if (stop.load()) return true;
    const Clock::time_point now = Clock::now();
    if (scanAt && now >= *scanAt) {
      scanAt.reset();
      if (scanChanged()) return stop.load();
    }
    if (now >= deadline) return stop.load();
    const Clock::time_point until = scanAt ? std::min(deadline, *scanAt) : deadline;
    switch (events.waitFor(until - now, watch, report ? *report : ReportSignal{})) {
      case DeviceEventOutcome::Interrupted:
      case DeviceEventOutcome::ReportReady:
        return stop.load();
      case DeviceEventOutcome::DevicesChanged: {
        const Clock::time_point changedAt = Clock::now();
        if (!scanAt) firstEvent = changedAt;
        scanAt = std::min(changedAt + kSettleQuiet, firstEvent + kSettleLimit);
        break;
      }
      case DeviceEventOutcome::Quiet:
        break;
    }
  }
}

bool DeviceWatchingWait::devicesChanged() {
  const Clock::time_point now = Clock::now();
  if (now - lastScan_ <= kScanInterval) return false;
  return scanChanged();
}

bool DeviceWatchingWait::scanChanged() {
  lastScan_ = Clock::now();
  DeviceList devices = scan_();
  const bool changed = !sameDevices(devices, lastDevices_);
  lastDevices_ = std::move(devices);
  return changed;
}

bool sameDevices(const DeviceList& a, const DeviceList& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const HidDeviceInfo& x, const HidDeviceInfo& y) {
    return x.path == y.path && x.serial == y.serial;
  });
}

}  // namespace pelmora
