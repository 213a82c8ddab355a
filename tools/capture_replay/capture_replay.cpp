#include "tools/capture_replay/capture_replay.h"

#include <memory>

#include "core/protocol/connection_worker.h"
#include "sim/sim_bus.h"
#include "sim/virtual_clock.h"

namespace pelmora::replay {
namespace {

// Time for the last reports to be read and drawn after the capture ends.
constexpr std::uint64_t kDrainMs = 500;

bool startsAnswer(const Report& report) {
  return report[kFragmentKindOffset] == static_cast<std::uint8_t>(MessageKind::Response) &&
         report[kFragmentIndexOffset] == 0;
}

// Plays a capture in its recorded order, with each answer tied to a
// command: an answer goes out only once the host has sent a command it has
// not yet had an answer for, and the reports after it keep their recorded
// distance from it. A player on the recorded times alone would send an
// answer before the replaying host, a little quicker than the recording
// one, had even asked.
class CommandPacedPlayer final : public sim::SimEndpoint {
 public:
  explicit CommandPacedPlayer(const sim::Capture& capture)
      : sim::SimEndpoint(sim::CapturePlayer::kPlayerQueueReports, sim::CapturePlayer::kPlayerQueueReports),
        capture_(capture) {}

  std::size_t played() const { return next_; }

 protected:
  void step(std::uint64_t nowMs) override {
    if (!attached_) return;
    while (next_ < capture_.size()) {
      const sim::CapturedReport& head = capture_[next_];
      if (startsAnswer(head.report)) {
        if (commands_ == 0) return;
        --commands_;
        anchorMs_ = nowMs;
        anchorCaptureMs_ = head.timeMs;
      } else if (anchorMs_ + (head.timeMs - anchorCaptureMs_) > nowMs) {
        return;
      }
      pipe().queue(head.report);
      ++next_;
    }
  }
  void onFeature(const Report&, std::uint64_t) override { ++commands_; }
  void onPowerUp(std::uint64_t) override { attached_ = false; }
  void onHostAttached(std::uint64_t nowMs) override {
    // One session's worth: a second open starts nothing over.
    if (attached_ || next_ > 0) return;
    attached_ = true;
    anchorMs_ = nowMs;
    anchorCaptureMs_ = capture_.empty() ? 0 : capture_.front().timeMs;
  }

 private:
  const sim::Capture& capture_;
  std::size_t next_ = 0;
  std::size_t commands_ = 0;
  bool attached_ = false;
  std::uint64_t anchorMs_ = 0;
  std::uint64_t anchorCaptureMs_ = 0;
};

}  // namespace

std::uint64_t canvasDigest(const LcdCanvas& canvas) {
  std::uint64_t hash = 0xCBF29CE484222325ull;
  for (std::uint16_t pixel : canvas.pixels) {
    for (int shift : {0, 8}) {
      hash ^= static_cast<std::uint8_t>(pixel >> shift);
      hash *= 0x100000001B3ull;
    }
  }
  return hash;
}

std::vector<std::uint64_t> replayCaptureFrames(const sim::Capture& capture) {
  std::vector<std::uint64_t> digests;
  if (capture.empty()) return digests;
  sim::VirtualClock clock;
  sim::SimBus bus(clock);
  auto player = std::make_shared<CommandPacedPlayer>(capture);
  bus.addEndpoint(u"replay", u"REPLAY", player);
  std::uint64_t finishedAt = 0;
  clock.stopWhen([&] {
    if (player->played() < capture.size()) return false;
    if (finishedAt == 0) finishedAt = clock.now();
    return clock.now() >= finishedAt + kDrainMs;
  });
  // Bounded whatever the capture holds: a replay that stalls (the host asked
  // for less than the recording one did) ends after the recorded span and a
  // minute.
  clock.stopAt(clock.now() + (capture.back().timeMs - capture.front().timeMs) + 60 * 1000ull);
  ConnectionWorker worker(
      {}, [](const OutputFrame&) {},
      [&](const LcdModel&, const LcdCanvas& canvas) { digests.push_back(canvasDigest(canvas)); }, {},
      bus.hooks(clock), {}, {});
  worker.setRandomSource([](std::uint32_t& out) {
    out = kReplayRandom;
    return true;
  });
  worker.run();
  return digests;
}

}  // namespace pelmora::replay
