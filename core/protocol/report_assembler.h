#pragma once
// Turns a stream of 64-byte input reports back into whole, validated device
// messages. One assembler per message stream: the session keeps one for
// RESPONSE messages and one for FRAME, STATE and IMAGE.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/protocol/wire_format.h"

namespace pelmora {

struct AssembledMessage {
  std::uint8_t kind = 0;             // 1..4
  std::uint32_t transferNumber = 0;
  std::vector<std::uint8_t> bytes;   // exactly the message length
};

class ReportAssembler {
 public:
  ReportAssembler() { reset(0); }

  // Clears every slot, the last completed numbers and the rejected count, and
  // stores the session id that messages of this stream must carry.
  void reset(std::uint32_t token);

  // Offers one input report received at `nowMs`. Returns a complete, valid
  // message or nothing. Never throws on device data.
  std::optional<AssembledMessage> accept(const std::uint8_t* report, std::size_t length,
                                         std::uint64_t nowMs);
  // The same, writing a completed message into `out` (true) instead; `out`
  // keeps its capacity, so a warmed-up caller allocates nothing.
  bool acceptInto(const std::uint8_t* report, std::size_t length, std::uint64_t nowMs,
                  AssembledMessage& out);

  // The fewest reports still needed before a message can complete: what the
  // messages under way lack (those whose last fragment came no more than
  // `underWayMs` before `nowMs`), or `fresh` when none is. A message whose
  // fragments stopped coming is left out: the device has moved on, and its
  // slot waits only for its expiry.
  std::size_t reportsToNextMessage(std::size_t fresh, std::uint64_t nowMs, std::uint64_t underWayMs) const;

  std::uint32_t token() const { return token_; }
  std::uint64_t rejectedCount() const { return rejected_; }

 private:
  struct Slot {
    std::uint32_t transferNumber = 0;
    std::uint8_t fragmentCount = 0;
    std::uint64_t totalLength = 0;
    std::uint64_t startMs = 0;
    std::uint64_t lastMs = 0;
    std::array<std::uint8_t, kMessageMaxLength> data{};
    std::array<bool, kMaxFragments> received{};
    bool active = false;
  };
  struct LastCompleted {
    std::uint32_t number = 0;
    bool valid = false;
  };

  enum class Outcome { Ignored, Rejected, Pending, Complete };

  void expire(std::uint64_t nowMs);
  Outcome take(const std::uint8_t* report, std::uint64_t nowMs);
  Outcome startOrJoin(const std::uint8_t* report, std::uint64_t nowMs);
  Outcome store(Slot& slot, const std::uint8_t* report, std::uint64_t nowMs);
  bool finish(std::uint8_t kind, Slot& slot, AssembledMessage& out);

  std::uint32_t token_ = 0;
  std::array<Slot, kKindCount> slots_{};
  std::array<LastCompleted, kKindCount> lastCompleted_{};
  std::uint64_t rejected_ = 0;
};

}  // namespace pelmora
