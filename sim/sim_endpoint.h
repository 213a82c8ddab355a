#pragma once
// What sits at the far end of a simulated HID device path: the simulated
// synthesizer, or a player replaying a capture. The base keeps the link
// state that every endpoint shares (plugged or not, held open by a host or
// not, the input pipe, the link faults) and steps the endpoint through time
// one millisecond at a time.
#include <cstdint>

#include "core/protocol/wire_format.h"
#include "sim/faults.h"
#include "sim/input_pipe.h"

namespace pelmora::sim {

class SimEndpoint {
 public:
  explicit SimEndpoint(std::size_t deviceQueueReports = InputPipe::kDefaultDeviceCapacity,
                       std::size_t hostQueueReports = InputPipe::kDefaultHostCapacity);
  virtual ~SimEndpoint() = default;
  SimEndpoint(const SimEndpoint&) = delete;
  SimEndpoint& operator=(const SimEndpoint&) = delete;

  // Runs every millisecond up to `nowMs`. While unplugged time passes
  // without effect.
  void advanceTo(std::uint64_t nowMs);
  std::uint64_t now() const { return now_; }

  // Power comes with the plug: the endpoint starts from scratch.
  void plugIn(std::uint64_t nowMs);
  void unplug();
  bool plugged() const { return plugged_; }
  // Changes at every plug-in, so that a handle from before an unplug stays
  // dead after a replug.
  std::uint32_t connection() const { return connection_; }

  // Exclusive use by one host transport.
  bool held() const { return held_; }
  void hold();
  void release();

  // A feature report whose transfer has completed, at now().
  void receiveFeature(const Report& report);
  // The host's next input report, if any.
  bool popInput(Report& report) { return pipe_.pop(report); }
  // The millisecond by which the host's next input report has arrived, as
  // far as the endpoint can tell now: never later than it comes.
  std::uint64_t nextArrivalMs() const;

  InputPipe& pipe() { return pipe_; }
  const InputPipe& pipe() const { return pipe_; }
  LinkFaults link;

 protected:
  // One millisecond of the endpoint's own life, before the pipe moves.
  virtual void step(std::uint64_t nowMs) = 0;
  virtual void onFeature(const Report& report, std::uint64_t nowMs) = 0;
  virtual void onPowerUp(std::uint64_t nowMs) = 0;
  virtual void onHostAttached(std::uint64_t) {}
  // The first millisecond whose step may queue a report; an endpoint that
  // cannot tell says the next one.
  virtual std::uint64_t nextOutputMs() const { return now_ + 1; }

 private:
  // A longer gap (a suspended machine) is skipped rather than simulated.
  static constexpr std::uint64_t kMaxCatchUpMs = 10 * 60 * 1000;

  InputPipe pipe_;
  std::uint64_t now_ = 0;
  bool plugged_ = false;
  bool held_ = false;
  std::uint32_t connection_ = 0;
};

}  // namespace pelmora::sim
