#include "core/protocol/report_assembler.h"

#include <algorithm>

#include "core/protocol/byte_order.h"

namespace pelmora {
namespace {

std::size_t fragmentsFor(std::uint64_t length) {
  return static_cast<std::size_t>((length + kFragmentDataLength - 1) / kFragmentDataLength);
}

bool carriesCurrentProtocol(const std::uint8_t* data) {
  return std::equal(kMagic.begin(), kMagic.end(), data + kMagicOffset) &&
         data[kMajorOffset] == kProtocolMajor && data[kMinorOffset] == kProtocolMinor;
}

}  // namespace

void ReportAssembler::reset(std::uint32_t token) {
  token_ = token;
  for (Slot& slot : slots_) {
    slot.active = false;
    slot.received.fill(false);
  }
  lastCompleted_.fill(LastCompleted{});
  rejected_ = 0;
}

std::optional<AssembledMessage> ReportAssembler::accept(const std::uint8_t* report, std::size_t length,
                                                        std::uint64_t nowMs) {
  AssembledMessage message;
  if (!acceptInto(report, length, nowMs, message)) return std::nullopt;
  return message;
}

bool ReportAssembler::acceptInto(const std::uint8_t* report, std::size_t length, std::uint64_t nowMs,
                                 AssembledMessage& out) {
  expire(nowMs);
  if (report == nullptr || length != kReportLength || report[0] != kInputReportId) {
    ++rejected_;
    return false;
  }
  const std::uint8_t kind = report[kFragmentKindOffset];
  const std::uint8_t index = report[kFragmentIndexOffset];
  const std::uint8_t count = report[kFragmentCountOffset];
  if (kind < kFirstKind || kind > kLastKind || count == 0 || index >= count) {
    ++rejected_;
    return false;
  }
  switch (take(report, nowMs)) {
    case Outcome::Rejected:
      ++rejected_;
      return false;
    case Outcome::Complete:
      return finish(kind, slots_[kind - 1], out);
    case Outcome::Ignored:
    case Outcome::Pending:
      break;
  }
  return false;
}

// Abandons transfers that took too long as a whole or stalled between two
// fragments: a lost fragment must not block the kind until the next reset.
void ReportAssembler::expire(std::uint64_t nowMs) {
  for (std::size_t k = 0; k < kKindCount; ++k) {
    Slot& slot = slots_[k];
    if (slot.active && (nowMs - slot.startMs >= kKindWholeLimitMs[k] ||
                        nowMs - slot.lastMs >= kKindGapLimitMs[k])) {
      slot.active = false;
    }
  }
}

ReportAssembler::Outcome ReportAssembler::take(const std::uint8_t* report, std::uint64_t nowMs) {
  if (report[kFragmentIndexOffset] == 0) {
    const Outcome started = startOrJoin(report, nowMs);
    if (started != Outcome::Pending) return started;
  }
  Slot& slot = slots_[report[kFragmentKindOffset] - 1];
  if (!slot.active || slot.transferNumber != readU32(report + kFragmentTransferOffset)) {
    return Outcome::Ignored;
  }
  if (slot.fragmentCount != report[kFragmentCountOffset]) {
    slot.active = false;
    return Outcome::Rejected;
  }
  return store(slot, report, nowMs);
}

// Fragment 0 carries the header: it decides whether a transfer starts, joins
// the one in progress, or is dropped. Pending means "go on storing it".
ReportAssembler::Outcome ReportAssembler::startOrJoin(const std::uint8_t* report, std::uint64_t nowMs) {
  const std::uint8_t* data = report + kFragmentDataOffset;
  if (!carriesCurrentProtocol(data)) return Outcome::Rejected;
  if (readU32(data + kSessionIdOffset) != token_) return Outcome::Ignored;

  const std::size_t k = report[kFragmentKindOffset] - 1;
  const std::uint32_t number = readU32(report + kFragmentTransferOffset);
  if (lastCompleted_[k].valid && sequenceDelta(number, lastCompleted_[k].number) <= 0) {
    return Outcome::Ignored;
  }
  const std::uint64_t total = readU16(data + kLengthOffset);
  if (total < kHeaderLength || total > kKindMaxLength[k] ||
      report[kFragmentCountOffset] != fragmentsFor(total)) {
    return Outcome::Rejected;
  }
  Slot& slot = slots_[k];
  if (slot.active && slot.transferNumber == number) return Outcome::Pending;
  if (slot.active && sequenceDelta(number, slot.transferNumber) < 0) return Outcome::Ignored;
  slot.transferNumber = number;
  slot.fragmentCount = report[kFragmentCountOffset];
  slot.totalLength = total;
  slot.startMs = nowMs;
  slot.lastMs = nowMs;
  slot.received.fill(false);
  slot.active = true;
  return Outcome::Pending;
}

ReportAssembler::Outcome ReportAssembler::store(Slot& slot, const std::uint8_t* report, std::uint64_t nowMs) {
  const std::size_t index = report[kFragmentIndexOffset];
  const std::uint8_t* data = report + kFragmentDataOffset;
  const std::size_t offset = index * kFragmentDataLength;
  const std::size_t len = std::min<std::size_t>(slot.totalLength - offset, kFragmentDataLength);
  const bool paddingClean =
      std::all_of(data + len, data + kFragmentDataLength, [](std::uint8_t b) { return b == 0; });

  if (slot.received[index]) {
    // A repeat is harmless only when it carries exactly the bytes we have.
    if (!paddingClean || !std::equal(data, data + len, slot.data.begin() + static_cast<std::ptrdiff_t>(offset))) {
      slot.active = false;
      return Outcome::Rejected;
    }
    return Outcome::Ignored;
  }
  if (!paddingClean) {
    slot.active = false;
    return Outcome::Rejected;
  }
  std::copy(data, data + len, slot.data.begin() + static_cast<std::ptrdiff_t>(offset));
  slot.received[index] = true;
  slot.lastMs = nowMs;
  const bool complete = std::all_of(slot.received.begin(), slot.received.begin() + slot.fragmentCount,
                                    [](bool r) { return r; });
  return complete ? Outcome::Complete : Outcome::Pending;
}

std::size_t ReportAssembler::reportsToNextMessage(std::size_t fresh, std::uint64_t nowMs,
                                                  std::uint64_t underWayMs) const {
  std::size_t fewest = SIZE_MAX;
  for (const Slot& slot : slots_) {
    if (!slot.active || nowMs - slot.lastMs > underWayMs) continue;
    const auto have = static_cast<std::size_t>(std::count(slot.received.begin(), slot.received.end(), true));
    fewest = std::min(fewest, slot.fragmentCount - have);
  }
  return fewest == SIZE_MAX ? fresh : fewest;
}

bool ReportAssembler::finish(std::uint8_t kind, Slot& slot, AssembledMessage& out) {
  slot.active = false;
  const auto length = static_cast<std::size_t>(slot.totalLength);
  if (!validateMessage(kind, slot.data.data(), length)) {
    ++rejected_;
    return false;
  }
  lastCompleted_[kind - 1] = LastCompleted{slot.transferNumber, true};
  out.kind = kind;
  out.transferNumber = slot.transferNumber;
  out.bytes.assign(slot.data.begin(), slot.data.begin() + static_cast<std::ptrdiff_t>(length));
  return true;
}

}  // namespace pelmora
