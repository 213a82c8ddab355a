#include "message_support.h"

#include "core/protocol/wire_format.h"

namespace pelmora::test {

bool valid(std::uint8_t kind, const std::vector<std::uint8_t>& message) {
  // An exact-size heap copy, so that a read past the end trips the sanitizer.
  const std::vector<std::uint8_t> copy(message);
  return validateMessage(kind, copy.data(), copy.size());
}

std::optional<AssembledMessage> feedAll(ReportAssembler& assembler, const std::vector<Report>& reports,
                                        std::uint64_t nowMs) {
  std::optional<AssembledMessage> last;
  for (const Report& r : reports) last = assembler.accept(r.data(), r.size(), nowMs);
  return last;
}

sim::FrameFields historyFrame(Mode mode, std::uint32_t frameSeq, std::uint32_t historySeq,
                              std::uint8_t cellValue) {
  sim::FrameFields f;
  f.mode = mode;
  f.frameSeq = frameSeq;
  f.historySeq = historySeq;
  f.flags = kFlagHistorySample;
  f.payload.assign(kModePayloadLength[static_cast<std::size_t>(mode)], 0);
  if (mode == Mode::PianoRoll) {
    std::fill_n(f.payload.begin(), kPianoRollSampleLength, cellValue);
  } else {
    std::fill(f.payload.begin(), f.payload.end(), static_cast<std::uint8_t>(cellValue | (cellValue << 4)));
  }
  return f;
}

}  // namespace pelmora::test
