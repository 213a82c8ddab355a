#include "sim/capture.h"

#include <algorithm>
#include <fstream>
#include <iterator>

#include "core/protocol/byte_order.h"

namespace pelmora::sim {

namespace {

constexpr std::array<std::uint8_t, 8> kCaptureMagic = {'P', 'L', 'M', 'C', 'A', 'P', '0', '1'};
constexpr std::size_t kVersionOffset = 8;
constexpr std::size_t kReportLengthOffset = 12;

void writeU64(std::uint8_t* p, std::uint64_t v) {
  writeU32(p, static_cast<std::uint32_t>(v));
  writeU32(p + 4, static_cast<std::uint32_t>(v >> 32));
}

std::uint64_t readU64(const std::uint8_t* p) {
  return std::uint64_t{readU32(p)} | (std::uint64_t{readU32(p + 4)} << 32);
}

}  // namespace

std::vector<std::uint8_t> serializeCapture(const Capture& capture) {
  std::vector<std::uint8_t> out(kCaptureHeaderLength + capture.size() * kCaptureRecordLength);
  std::copy(kCaptureMagic.begin(), kCaptureMagic.end(), out.begin());
  writeU32(&out[kVersionOffset], kCaptureVersion);
  writeU32(&out[kReportLengthOffset], static_cast<std::uint32_t>(kReportLength));
  std::uint8_t* p = out.data() + kCaptureHeaderLength;
  for (const CapturedReport& r : capture) {
    writeU64(p, r.timeMs);
    std::copy(r.report.begin(), r.report.end(), p + 8);
    p += kCaptureRecordLength;
  }
  return out;
}

std::optional<Capture> parseCapture(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kCaptureHeaderLength ||
      !std::equal(kCaptureMagic.begin(), kCaptureMagic.end(), bytes.begin()) ||
      readU32(&bytes[kVersionOffset]) != kCaptureVersion ||
      readU32(&bytes[kReportLengthOffset]) != kReportLength ||
      (bytes.size() - kCaptureHeaderLength) % kCaptureRecordLength != 0) {
    return std::nullopt;
  }
  Capture capture((bytes.size() - kCaptureHeaderLength) / kCaptureRecordLength);
  const std::uint8_t* p = bytes.data() + kCaptureHeaderLength;
  for (CapturedReport& r : capture) {
    r.timeMs = readU64(p);
    std::copy(p + 8, p + kCaptureRecordLength, r.report.begin());
    p += kCaptureRecordLength;
  }
  return capture;
}

bool saveCapture(const std::string& path, const Capture& capture) {
  const auto bytes = serializeCapture(capture);
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(file.flush());
}

std::optional<Capture> loadCapture(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  return parseCapture(bytes);
}

void CaptureRecorder::record(const std::uint8_t* report) {
  CapturedReport r;
  r.timeMs = now_();
  std::copy(report, report + kReportLength, r.report.begin());
  capture_.push_back(r);
}

RawReportCallback CaptureRecorder::observer() {
  return [this](const std::uint8_t* report) { record(report); };
}

CapturePlayer::CapturePlayer(Capture capture, bool loop)
    : SimEndpoint(kPlayerQueueReports, kPlayerQueueReports), capture_(std::move(capture)), loop_(loop) {}

void CapturePlayer::onPowerUp(std::uint64_t) {
  playing_ = false;
  next_ = 0;
}

void CapturePlayer::onHostAttached(std::uint64_t nowMs) {
  playing_ = true;
  startMs_ = nowMs;
  next_ = 0;
}

void CapturePlayer::step(std::uint64_t nowMs) {
  if (!playing_ || capture_.empty()) return;
  const std::uint64_t first = capture_.front().timeMs;
  while (next_ < capture_.size() && startMs_ + (capture_[next_].timeMs - first) <= nowMs) {
    pipe().queue(capture_[next_].report);
    ++next_;
    ++played_;
  }
  if (next_ >= capture_.size() && loop_) {
    // The next round starts one millisecond after the last report of this one.
    startMs_ = nowMs + 1;
    next_ = 0;
  }
}

}  // namespace pelmora::sim
