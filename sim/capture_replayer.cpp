#include "sim/capture_replayer.h"

#include <algorithm>
#include <utility>

#include "core/protocol/byte_order.h"
#include "sim/fragmenter.h"
#include "sim/message_builders.h"

namespace pelmora::sim {
namespace {

constexpr std::size_t kFragmentSessionIdOffset = kFragmentDataOffset + kSessionIdOffset;

bool isStreamKind(std::uint8_t kind) {
  return kind >= static_cast<std::uint8_t>(MessageKind::Frame) && kind <= static_cast<std::uint8_t>(MessageKind::Image);
}

}  // namespace

CaptureReplayer::CaptureReplayer(Capture capture)
    : SimEndpoint(kQueueReports, kQueueReports), capture_(std::move(capture)) {}

bool CaptureReplayer::done() const {
  return next_ >= capture_.size() && pipe().deviceQueued() == 0 && pipe().hostQueued() == 0;
}

void CaptureReplayer::onPowerUp(std::uint64_t) {
  next_ = 0;
  sessionId_ = 0;
}

void CaptureReplayer::onHostAttached(std::uint64_t) { sessionId_ = 0; }

void CaptureReplayer::step(std::uint64_t nowMs) {
  while (sessionId_ != 0 && next_ < capture_.size() && dueMs_ <= nowMs) {
    const CapturedReport& record = capture_[next_];
    play(record.report);
    ++next_;
    if (next_ < capture_.size()) {
      const std::uint64_t then = record.timeMs;
      const std::uint64_t later = capture_[next_].timeMs;
      dueMs_ += later > then ? std::min(later - then, kMaxGapMs) : 0;
    }
  }
}

void CaptureReplayer::play(Report report) {
  const std::uint8_t kind = report[kFragmentKindOffset];
  if (report[0] == kInputReportId && kind == static_cast<std::uint8_t>(MessageKind::Response)) return;
  if (report[0] == kInputReportId && isStreamKind(kind) && report[kFragmentIndexOffset] == 0) {
    writeU32(&report[kFragmentSessionIdOffset], sessionId_);
  }
  pipe().queue(report);
}

void CaptureReplayer::onFeature(const Report& report, std::uint64_t nowMs) {
  if (report[0] != kCommandReportId) return;
  const CommandFields command = parseCommand(report);
  switch (static_cast<Command>(command.code)) {
    case Command::Hello:
      answer(buildHelloAnswer(command.requestId));
      return;
    case Command::OpenSession:
      lastSessionId_ = lastSessionId_ + 1 == 0 ? 1 : lastSessionId_ + 1;
      sessionId_ = lastSessionId_;
      // Playing goes on from where it was, starting now.
      dueMs_ = nowMs;
      answer(buildOpenSessionAnswer(command.requestId, sessionId_));
      return;
    case Command::CloseSession:
    case Command::Heartbeat:
    case Command::RequestState:
      if (sessionId_ == 0 || command.argument != sessionId_) {
        answer(buildAnswer(command, kStatusRejected1));
        return;
      }
      if (command.code == static_cast<std::uint8_t>(Command::CloseSession)) sessionId_ = 0;
      answer(buildAnswer(command));
      return;
  }
}

void CaptureReplayer::answer(const std::vector<std::uint8_t>& message) {
  for (const Report& r : fragmentMessage(static_cast<std::uint8_t>(MessageKind::Response), ++transfer_, message)) {
    pipe().queue(r, true);
  }
}

}  // namespace pelmora::sim
