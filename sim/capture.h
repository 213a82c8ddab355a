#pragma once
// Recording the raw input reports a host reads, and replaying them later as
// a simulated device. The file format is described in CAPTURE_FORMAT.md:
// a 16-byte header ("PLMCAP01", version, report length) followed by one
// 72-byte record per report (u64 little-endian milliseconds, 64 report
// bytes).
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "core/protocol/connection_worker.h"
#include "sim/sim_endpoint.h"

namespace pelmora::sim {

struct CapturedReport {
  std::uint64_t timeMs = 0;
  Report report{};
  bool operator==(const CapturedReport&) const = default;
};
using Capture = std::vector<CapturedReport>;

inline constexpr std::uint32_t kCaptureVersion = 1;
inline constexpr std::size_t kCaptureHeaderLength = 16;
inline constexpr std::size_t kCaptureRecordLength = 8 + kReportLength;

std::vector<std::uint8_t> serializeCapture(const Capture& capture);
// Nothing when the bytes are not a capture of this version (a torn last
// record included): a capture is either read whole or not at all.
std::optional<Capture> parseCapture(std::span<const std::uint8_t> bytes);
bool saveCapture(const std::string& path, const Capture& capture);
std::optional<Capture> loadCapture(const std::string& path);

// Records every report handed to it, stamped with the given clock.
class CaptureRecorder {
 public:
  explicit CaptureRecorder(std::function<std::uint64_t()> now) : now_(std::move(now)) {}

  void record(const std::uint8_t* report);
  // An observer to pass as the worker's onRawReport. The recorder must
  // outlive the worker's use of it.
  RawReportCallback observer();

  const Capture& capture() const { return capture_; }
  void clear() { capture_.clear(); }

 private:
  std::function<std::uint64_t()> now_;
  Capture capture_;
};

// A simulated device that plays a capture back: from the moment a host
// opens it, each report goes out at its recorded offset from the first one
// (through the same one-report-per-millisecond endpoint), in recorded order.
// Feature reports are accepted and ignored.
class CapturePlayer final : public SimEndpoint {
 public:
  static constexpr std::size_t kPlayerQueueReports = 4096;

  explicit CapturePlayer(Capture capture, bool loop = false);

  bool finished() const { return !loop_ && next_ >= capture_.size(); }
  std::size_t played() const { return played_; }
  std::uint64_t featuresIgnored() const { return featuresIgnored_; }

 protected:
  void step(std::uint64_t nowMs) override;
  void onFeature(const Report&, std::uint64_t) override { ++featuresIgnored_; }
  void onPowerUp(std::uint64_t nowMs) override;
  void onHostAttached(std::uint64_t nowMs) override;

 private:
  Capture capture_;
  bool loop_;
  bool playing_ = false;
  std::uint64_t startMs_ = 0;
  std::size_t next_ = 0;
  std::size_t played_ = 0;
  std::uint64_t featuresIgnored_ = 0;
};

}  // namespace pelmora::sim
