#pragma once
// Shared helpers of the protocol tests: messages as the device sends them,
// and feeding their reports through an assembler.
#include <cstdint>
#include <optional>
#include <vector>

#include "core/protocol/report_assembler.h"
#include "sim/fragmenter.h"
#include "sim/message_builders.h"

namespace pelmora::test {

inline constexpr std::uint8_t kFrame = static_cast<std::uint8_t>(MessageKind::Frame);
inline constexpr std::uint8_t kState = static_cast<std::uint8_t>(MessageKind::State);
inline constexpr std::uint8_t kImage = static_cast<std::uint8_t>(MessageKind::Image);
inline constexpr std::uint8_t kResponse = static_cast<std::uint8_t>(MessageKind::Response);

bool valid(std::uint8_t kind, const std::vector<std::uint8_t>& message);

// Offers every report at `nowMs`; the result of the last one.
std::optional<AssembledMessage> feedAll(ReportAssembler& assembler, const std::vector<Report>& reports,
                                        std::uint64_t nowMs);

// A FRAME of the given mode with a recognisable history sample.
sim::FrameFields historyFrame(Mode mode, std::uint32_t frameSeq, std::uint32_t historySeq,
                              std::uint8_t cellValue);

}  // namespace pelmora::test
