#include "Pelmora_mac/ui/termination_gate.h"

namespace pelmora::mac {

bool TerminationGate::beginTermination(std::uint64_t nowMs) {
  if (phase_ != Phase::Running) return false;
  phase_ = Phase::Waiting;
  requestedAtMs_ = nowMs;
  return true;
}

TerminateReply TerminationGate::firstReply(bool allFinished) {
  if (phase_ != Phase::Waiting) return TerminateReply::Later;
  if (!allFinished) return TerminateReply::Later;
  phase_ = Phase::Answered;
  return TerminateReply::Now;
}

bool TerminationGate::replyDue(std::uint64_t nowMs, bool allFinished) {
  if (phase_ != Phase::Waiting) return false;
  // A clock that went backwards never shortens the wait.
  const bool graceOver = nowMs >= requestedAtMs_ && nowMs - requestedAtMs_ >= kTerminationGraceMs;
  if (!allFinished && !graceOver) return false;
  phase_ = Phase::Answered;
  return true;
}

}  // namespace pelmora::mac
