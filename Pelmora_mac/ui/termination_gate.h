#pragma once
// When the program may end. The first request to quit stops every session
// and is answered at once only if all workers have already finished;
// otherwise the answer follows once they have, or once the grace period has
// passed, so that a worker stuck on a device cannot keep the program alive.
// While an answer is pending, further requests are deferred and change
// nothing, and no new window opens.
#include <cstdint>

namespace pelmora::mac {

// The platform's answers to a request to terminate.
enum class TerminateReply { Cancel = 0, Now = 1, Later = 2 };

// As long as the Windows program gives its worker before it ends anyway.
inline constexpr std::uint64_t kTerminationGraceMs = 1900;

class TerminationGate {
 public:
  bool terminating() const { return phase_ != Phase::Running; }
  bool mayOpenWindow() const { return phase_ == Phase::Running; }

  // A request to terminate at `nowMs`. True when it is the first: the caller
  // then stops every session and asks `firstReply`. A later request is to be
  // answered Later and changes nothing.
  bool beginTermination(std::uint64_t nowMs);
  // The answer to the first request, given whether every worker has finished.
  TerminateReply firstReply(bool allFinished);
  // Whether the deferred answer is due now; true exactly once, after which
  // the caller answers "terminate".
  bool replyDue(std::uint64_t nowMs, bool allFinished);

 private:
  enum class Phase { Running, Waiting, Answered };
  Phase phase_ = Phase::Running;
  std::uint64_t requestedAtMs_ = 0;
};

}  // namespace pelmora::mac
