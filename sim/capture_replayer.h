#pragma once
// A capture shown as a device: a host opens it like a synthesizer, and it
// plays the recorded stream at the recorded pace. The recorded answers to
// the old host's commands cannot serve a new host (its request numbers are
// its own), so this endpoint answers the handshake and keep-alive itself,
// drops the recorded answers, and makes the recorded messages belong to the
// session it granted. When the host reconnects, playing resumes where it
// stopped; once the last report has been delivered the capture is `done`.
#include <cstddef>
#include <cstdint>

#include "sim/capture.h"
#include "sim/sim_endpoint.h"

namespace pelmora::sim {

class CaptureReplayer final : public SimEndpoint {
 public:
  // A pause longer than this between two records is shortened to it, so a
  // capture always gets to its end.
  static constexpr std::uint64_t kMaxGapMs = 10000;
  static constexpr std::size_t kQueueReports = 4096;

  explicit CaptureReplayer(Capture capture);

  bool done() const;
  std::size_t played() const { return next_; }

 protected:
  void step(std::uint64_t nowMs) override;
  void onFeature(const Report& report, std::uint64_t nowMs) override;
  void onPowerUp(std::uint64_t nowMs) override;
  void onHostAttached(std::uint64_t nowMs) override;

 private:
  void answer(const std::vector<std::uint8_t>& message);
  void play(Report report);

  Capture capture_;
  std::size_t next_ = 0;     // the next record to play
  std::uint64_t dueMs_ = 0;  // when it is due
  std::uint32_t sessionId_ = 0;
  std::uint32_t lastSessionId_ = 0;
  std::uint32_t transfer_ = 0;
};

}  // namespace pelmora::sim
