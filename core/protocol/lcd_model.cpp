#include "core/protocol/lcd_model.h"

#include <algorithm>

#include "core/protocol/byte_order.h"

namespace pelmora {
namespace {

// A history sample covers two rows of the piano roll and one of the spectrum;
// both are written into rows 0 and 1.
constexpr std::size_t kPianoRollRowsPerSample = 2;
constexpr std::uint32_t kPianoRollClearingGap = 61;
constexpr std::uint32_t kSpectrumClearingGap = 84;

std::uint32_t fieldU32(const std::uint8_t* message, std::size_t offset) { return readU32(message + offset); }

}  // namespace

void HeldMessage::assign(const std::uint8_t* bytes, std::size_t length) {
  bytes_.assign(bytes, bytes + length);
  present_ = true;
}

void HeldMessage::takeInto(std::vector<std::uint8_t>& target) {
  target.swap(bytes_);
  reset();
}

LcdModel::LcdModel() {
  stateMessage.reserve(kStateLength);
  frameMessage.reserve(kFrameMaxLength);
  pendingFrame.reserve(kFrameMaxLength);
}

void LcdModel::reset(std::uint32_t id) {
  sessionId = id;
  stateMessage.clear();
  frameMessage.clear();
  pendingFrame.reset();
  stateSeq = frameSeq = imageId = historyId = historySeq = 0;
  stateSeqValid = frameSeqValid = imageIdValid = historyIdValid = historySeqValid = 0;
  clearImage();
  for (auto& row : history) row.fill(0);
}

bool LcdModel::apply(std::uint8_t kind, const std::uint8_t* bytes, std::size_t length) {
  if (sessionId == 0 || !validateMessage(kind, bytes, length) ||
      fieldU32(bytes, kSessionIdOffset) != sessionId) {
    return false;
  }
  switch (static_cast<MessageKind>(kind)) {
    case MessageKind::Frame:
      return applyFrame(bytes, length);
    case MessageKind::State:
      return applyState(bytes, length);
    case MessageKind::Image:
      return applyImage(bytes);
    case MessageKind::Response:
      break;
  }
  return false;
}

bool LcdModel::applyFrame(const std::uint8_t* f, std::size_t length) {
  const std::uint32_t seq = fieldU32(f, kFrameSeqOffset);
  if (frameSeqValid != 0 && sequenceDelta(seq, frameSeq) <= 0) return false;
  const std::uint32_t picture = fieldU32(f, kFrameImageIdOffset);
  if (imageIdValid != 0 && sequenceDelta(picture, imageId) < 0) return false;
  const bool samePicture = imageIdValid != 0 && picture == imageId;

  frameSeq = seq;
  frameSeqValid = 1;
  if (!samePicture) {
    imageId = picture;
    imageIdValid = 1;
    clearImage();
  }
  pendingFrame.reset();
  if (stateSeqValid != 0 && fieldU32(f, kFrameStateSeqOffset) == stateSeq) {
    showFrame(f, length);
    return true;
  }
  pendingFrame.assign(f, length);
  return false;
}

bool LcdModel::applyState(const std::uint8_t* s, std::size_t length) {
  const std::uint32_t seq = fieldU32(s, kStateSeqOffset);
  if (stateSeqValid != 0 && sequenceDelta(seq, stateSeq) < 0) return false;
  stateSeq = seq;
  stateSeqValid = 1;
  stateMessage.assign(s, s + length);
  if (pendingFrame && fieldU32(pendingFrame->data(), kFrameStateSeqOffset) == seq) {
    showPendingFrame();
    return true;
  }
  return false;
}

bool LcdModel::applyImage(const std::uint8_t* m) {
  const std::uint32_t picture = fieldU32(m, kImageIdOffset);
  if (imageIdValid == 0 || picture != imageId) return false;
  const std::size_t row = m[kImageRowIndexOffset];
  const std::uint32_t rowSeq = fieldU32(m, kImageRowSeqOffset);
  ImageRowSeq& entry = imageRowSeq[row];
  if (entry.valid != 0 && sequenceDelta(rowSeq, entry.seq) < 0) return false;
  entry = ImageRowSeq{rowSeq, 1};
  for (std::size_t x = 0; x < kPictureSize; ++x) {
    image[row * kPictureSize + x] = readU16(m + kImagePixelsOffset + 2 * x);
  }
  return !frameMessage.empty() && frameMessage[kFrameModeOffset] == static_cast<std::uint8_t>(Mode::Picture) &&
         fieldU32(frameMessage.data(), kFrameImageIdOffset) == picture && stateSeqValid != 0 &&
         fieldU32(frameMessage.data(), kFrameStateSeqOffset) == stateSeq;
}

void LcdModel::showFrame(const std::uint8_t* f, std::size_t length) {
  updateHistory(f);
  frameMessage.assign(f, f + length);
}

void LcdModel::showPendingFrame() {
  updateHistory(pendingFrame->data());
  pendingFrame.takeInto(frameMessage);
}

void LcdModel::updateHistory(const std::uint8_t* f) {
  const std::uint32_t id = fieldU32(f, kFrameHistoryIdOffset);
  if (historyIdValid == 0 || id != historyId) {
    for (auto& row : history) row.fill(0);
    historySeqValid = 0;
    historyId = id;
    historyIdValid = 1;
  }
  const auto mode = static_cast<Mode>(f[kFrameModeOffset]);
  if ((mode != Mode::PianoRoll && mode != Mode::Spectrum) || (f[kFrameFlagsOffset] & kFlagHistorySample) == 0) {
    return;
  }
  const std::uint32_t seq = fieldU32(f, kFrameHistorySeqOffset);
  const std::int32_t delta = historySeqValid != 0 ? sequenceDelta(seq, historySeq) : 1;
  if (delta < 1) return;

  const auto steps = static_cast<std::uint32_t>(delta);
  const std::uint8_t* sample = f + kFramePayloadOffset;
  auto& newest = history[0];
  if (mode == Mode::PianoRoll) {
    const bool gapClears = steps >= kPianoRollClearingGap;
    scrollHistory(kPianoRollHistoryRows, gapClears ? kHistoryRows : kPianoRollRowsPerSample * steps);
    std::copy_n(sample, kHistoryColumns, newest.begin());
  } else {
    const bool gapClears = steps >= kSpectrumClearingGap;
    scrollHistory(kSpectrumHistoryRows, gapClears ? kHistoryRows : steps);
    for (std::size_t c = 0; c < kHistoryColumns; ++c) {
      const std::uint8_t packed = sample[c / 2];
      newest[c] = static_cast<std::uint8_t>(c % 2 == 0 ? packed & kLowNibbleMask : packed >> kNibbleBits);
    }
  }
  history[1] = newest;
  historySeq = seq;
  historySeqValid = 1;
}

// Moves the rows in use down by `shift` and blanks the rows that opened up;
// a shift of the whole area (or more) blanks every row.
void LcdModel::scrollHistory(std::size_t rowsInUse, std::size_t shift) {
  if (shift >= rowsInUse) {
    for (auto& row : history) row.fill(0);
    return;
  }
  for (std::size_t k = rowsInUse - 1; k >= shift; --k) history[k] = history[k - shift];
  for (std::size_t k = 0; k < shift; ++k) history[k].fill(0);
}

void LcdModel::clearImage() {
  image.fill(0);
  imageRowSeq.fill(ImageRowSeq{});
}

}  // namespace pelmora
