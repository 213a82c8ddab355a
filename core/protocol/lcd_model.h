#pragma once
// The host's copy of what the synthesizer's LCD shows, fed with validated
// FRAME, STATE and IMAGE messages of one session.
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/protocol/wire_format.h"

namespace pelmora {

inline constexpr std::size_t kHistoryRows = 122;
inline constexpr std::size_t kHistoryColumns = 128;
inline constexpr std::size_t kPianoRollHistoryRows = 122;
inline constexpr std::size_t kSpectrumHistoryRows = 84;

// A message held back, with the storage kept while it is absent so that
// holding the next one allocates nothing. Reads like std::optional.
class HeldMessage {
 public:
  bool has_value() const { return present_; }
  explicit operator bool() const { return present_; }
  const std::vector<std::uint8_t>& operator*() const { return bytes_; }
  const std::vector<std::uint8_t>* operator->() const { return &bytes_; }
  void assign(const std::uint8_t* bytes, std::size_t length);
  void reset() { present_ = false; bytes_.clear(); }
  void reserve(std::size_t capacity) { bytes_.reserve(capacity); }
  // Moves the held message into `target` (swapping storage, so neither side
  // loses capacity) and leaves nothing held.
  void takeInto(std::vector<std::uint8_t>& target);

 private:
  std::vector<std::uint8_t> bytes_;
  bool present_ = false;
};

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
  HeldMessage pendingFrame;
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

 private:
  bool applyFrame(const std::uint8_t* f, std::size_t length);
  bool applyState(const std::uint8_t* s, std::size_t length);
  bool applyImage(const std::uint8_t* m);
  void showFrame(const std::uint8_t* f, std::size_t length);
  void showPendingFrame();
  void updateHistory(const std::uint8_t* f);
  void scrollHistory(std::size_t rowsInUse, std::size_t shift);
  void clearImage();
};

}  // namespace pelmora
