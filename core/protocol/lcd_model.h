#pragma once
// The host's copy of what the synthesizer's LCD shows, fed with validated
// FRAME, STATE and IMAGE messages of one session.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "core/protocol/wire_format.h"

namespace pelmora {

inline constexpr std::size_t kHistoryRows = 122;
inline constexpr std::size_t kHistoryColumns = 128;
inline constexpr std::size_t kPianoRollHistoryRows = 122;
inline constexpr std::size_t kSpectrumHistoryRows = 84;

struct ImageRowSeq {
  std::uint32_t seq = 0;
  std::uint8_t valid = 0;
};

class LcdModel {
 public:
  LcdModel();

  // Empties the model completely and stores the session id (0 = no session:
  // every message is then ignored).
  void reset(std::uint32_t sessionId);

  // Takes one reassembled message of kind FRAME, STATE or IMAGE; true when the
  // screen must be drawn again from the model.
  bool apply(std::uint8_t kind, const std::uint8_t* bytes, std::size_t length);

  // Fields in the order of the model; the renderer reads them directly.
  std::uint32_t sessionId = 0;
  std::vector<std::uint8_t> stateMessage;
  std::vector<std::uint8_t> frameMessage;
  std::optional<std::vector<std::uint8_t>> pendingFrame;
  std::uint32_t stateSeq = 0;
  std::uint8_t stateSeqValid = 0;
  std::uint32_t frameSeq = 0;
  std::uint8_t frameSeqValid = 0;
  std::uint32_t imageId = 0;
  std::uint8_t imageIdValid = 0;
  std::uint32_t historyId = 0;
  std::uint8_t historyIdValid = 0;
  std::uint32_t historySeq = 0;
  std::uint8_t historySeqValid = 0;
  std::array<std::uint16_t, kPictureSize * kPictureSize> image{};
  std::array<ImageRowSeq, kPictureSize> imageRowSeq{};
  std::array<std::array<std::uint8_t, kHistoryColumns>, kHistoryRows> history{};
};

}  // namespace pelmora
