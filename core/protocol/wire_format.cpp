#include "core/protocol/wire_format.h"

#include <algorithm>
#include <stdexcept>

#include "core/protocol/byte_order.h"

namespace pelmora {
namespace {

bool allZero(const std::uint8_t* begin, std::size_t count) {
  return std::all_of(begin, begin + count, [](std::uint8_t b) { return b == 0; });
}

bool allAtMost(const std::uint8_t* begin, std::size_t count, std::uint8_t limit) {
  return std::all_of(begin, begin + count, [limit](std::uint8_t b) { return b <= limit; });
}

// A length byte followed by a text field of `capacity` bytes whose bytes after
// the text are zero.
bool countedTextValid(const std::uint8_t* lengthByte, std::size_t capacity) {
  const std::size_t n = *lengthByte;
  return n <= capacity && allZero(lengthByte + 1 + n, capacity - n);
}

bool headerValid(std::uint8_t kind, const std::uint8_t* m, std::size_t length) {
  if (kind < kFirstKind || kind > kLastKind) return false;
  if (length < kHeaderLength || length > kKindMaxLength[kind - 1]) return false;
  return std::equal(kMagic.begin(), kMagic.end(), m + kMagicOffset) &&
         m[kMajorOffset] == kProtocolMajor && m[kMinorOffset] == kProtocolMinor &&
         readU16(m + kLengthOffset) == length;
}

bool channelParamsValid(const std::uint8_t* params, std::size_t count) {
  return std::all_of(params, params + count, [](std::uint8_t b) {
    return (b & kLowNibbleMask) <= kMaxChannelParam && (b >> kNibbleBits) <= kMaxChannelParam;
  });
}

bool framePayloadValid(Mode mode, const std::uint8_t* p, std::size_t size) {
  switch (mode) {
    case Mode::Meters:
    case Mode::Face:
    case Mode::Picture:
      return allAtMost(p, size, kMaxMeterValue);
    case Mode::PianoRoll:
      return allAtMost(p, kPianoRollSampleLength, kMaxPianoRollCell);
    case Mode::Scope:
      return p[0] <= kMaxScopeTrigger;
    case Mode::Channels:
      return allAtMost(p, kChannelCount, kMaxChannelLevel) &&
             channelParamsValid(p + kChannelParamsOffset, size - kChannelParamsOffset);
    case Mode::Spectrum:
      return true;
  }
  return false;
}

bool debugLinesValid(const std::uint8_t* lines) {
  for (std::size_t i = 0; i < kDebugLineCount; ++i) {
    const std::uint8_t* record = lines + i * kDebugRecordLength;
    if (!countedTextValid(record + kDebugTextLengthOffset, kDebugMaxTextLength)) return false;
  }
  return true;
}

bool frameFieldsValid(const std::uint8_t* m) {
  const std::uint8_t flags = m[kFrameFlagsOffset];
  const bool hasDebug = readU16(m + kFrameDebugLengthOffset) != 0;
  const std::uint8_t badge = m[kFrameBadgeOffset];
  return flags <= kMaxFlags && hasDebug == ((flags & kFlagDebugLines) != 0) &&
         (badge <= kMaxBadge || badge == kBadgeHidden) && m[kFrameCounter2Offset] != 0 &&
         m[kFrameLevelAlarmOffset] <= kMaxLevelAlarm && m[kFrameVolumeOffset] <= kMaxVolume &&
         m[kFrameEyeOffset] <= kMaxEye && m[kFrameEyebrowOffset] <= kMaxEyebrow &&
         m[kFrameMouthOffset] <= kMaxMouth && m[kFrameLanguageOffset] <= kMaxLanguage &&
         m[kFrameLeftBarOffset] <= kMaxSideBarLevel && m[kFrameRightBarOffset] <= kMaxSideBarLevel;
}

bool frameValid(const std::uint8_t* m, std::size_t length) {
  if (length < kFrameMinLength) return false;
  const std::uint8_t modeByte = m[kFrameModeOffset];
  if (modeByte >= kModeCount || readU32(m + kFrameStateSeqOffset) == 0) return false;
  const std::size_t payloadLength = readU16(m + kFramePayloadLengthOffset);
  const std::size_t debugLength = readU16(m + kFrameDebugLengthOffset);
  if (payloadLength != kModePayloadLength[modeByte]) return false;
  if (debugLength != 0 && debugLength != kDebugLinesLength) return false;
  if (length != kFramePayloadOffset + payloadLength + debugLength) return false;
  if (!allZero(m + kFrameReservedOffset, kFrameReservedLength)) return false;
  if (!frameFieldsValid(m)) return false;
  if (!framePayloadValid(static_cast<Mode>(modeByte), m + kFramePayloadOffset, payloadLength)) {
    return false;
  }
  return debugLength == 0 || debugLinesValid(m + kFramePayloadOffset + payloadLength);
}

bool stateValid(const std::uint8_t* m, std::size_t length) {
  if (length != kStateLength) return false;
  const std::uint8_t byte16 = m[kStateByte16Offset];
  if (readU32(m + kStateSeqOffset) == 0 || m[kStateByte17Offset] > 1 ||
      (byte16 >= kStateByte16Limit && byte16 != kStateByte16None)) {
    return false;
  }
  if (!countedTextValid(m + kStateAsciiTitleLengthOffset, kStateAsciiTitleMax) ||
      !countedTextValid(m + kStateTitle1LengthOffset, kStateJapaneseTitleMax) ||
      !countedTextValid(m + kStateTitle2LengthOffset, kStateJapaneseTitleMax)) {
    return false;
  }
  for (std::size_t i = 0; i < kChannelCount; ++i) {
    if (m[kStateChannelValuesOffset + i] > kMaxChannelValue || m[kStateChannelFlagsOffset + i] > 1 ||
        !countedTextValid(m + kStateChannelNamesOffset + i * kChannelNameRecordLength, kChannelNameMax)) {
      return false;
    }
  }
  return true;
}

bool imageValid(const std::uint8_t* m, std::size_t length) {
  if (length != kImageLength || m[kImageRowIndexOffset] >= kPictureSize) return false;
  for (std::size_t x = 0; x < kPictureSize; ++x) {
    if ((readU16(m + kImagePixelsOffset + 2 * x) & kImageForbiddenBits) != 0) return false;
  }
  return true;
}

bool successPayloadValid(std::uint8_t command, const std::uint8_t* m, std::size_t length) {
  switch (static_cast<Command>(command)) {
    case Command::OpenSession:
      return length == kOpenSessionLength && readU32(m + kOpenSessionIdOffset) != 0 &&
             m[kOpenSessionFlagOffset] <= 1 &&
             allZero(m + kOpenSessionFlagOffset + 1, kOpenSessionLength - kOpenSessionFlagOffset - 1);
    case Command::Hello: {
      if (length < kHelloMinLength) return false;
      const std::size_t k = m[kHelloTextLengthOffset];
      return k <= kHelloMaxTextLength && length == kHelloMinLength + k &&
             std::all_of(m + kHelloTextOffset, m + length,
                         [](std::uint8_t b) { return b >= kHelloTextFirstChar && b <= kHelloTextLastChar; });
    }
    default:
      return length == kResponseMinLength;
  }
}

bool responseValid(const std::uint8_t* m, std::size_t length) {
  if (length < kResponseMinLength) return false;
  if (length != kResponseMinLength + readU16(m + kResponsePayloadLengthOffset)) return false;
  const std::uint8_t command = m[kResponseCommandOffset];
  const std::uint8_t status = m[kResponseStatusOffset];
  if (command < kFirstCommand || command > kLastCommand || status > kMaxStatus) return false;
  if (status != kStatusOk) return length == kResponseMinLength;
  return successPayloadValid(command, m, length);
}

}  // namespace

CommandReport buildCommand(std::uint8_t code, std::uint32_t requestId, std::uint32_t argument) {
  if (code < kFirstCommand || code > kLastCommand) {
    throw std::invalid_argument("Feature command");
  }
  CommandReport report{};
  report[0] = kCommandReportId;
  std::copy(kMagic.begin(), kMagic.end(), report.begin() + kCommandMagicOffset);
  report[kCommandMajorOffset] = kProtocolMajor;
  report[kCommandMinorOffset] = kProtocolMinor;
  report[kCommandCodeOffset] = code;
  writeU32(&report[kCommandRequestIdOffset], requestId);
  writeU32(&report[kCommandArgumentOffset], argument);
  return report;
}

bool validateMessage(std::uint8_t kind, const std::uint8_t* bytes, std::size_t length) {
  if (bytes == nullptr || !headerValid(kind, bytes, length)) return false;
  switch (static_cast<MessageKind>(kind)) {
    case MessageKind::Frame:
      return frameValid(bytes, length);
    case MessageKind::State:
      return stateValid(bytes, length);
    case MessageKind::Image:
      return imageValid(bytes, length);
    case MessageKind::Response:
      return responseValid(bytes, length);
  }
  return false;
}

int checkHello(const std::uint8_t* bytes, std::size_t length) {
  if (!validateMessage(static_cast<std::uint8_t>(MessageKind::Response), bytes, length) ||
      bytes[kResponseCommandOffset] != static_cast<std::uint8_t>(Command::Hello) ||
      readU32(bytes + kSessionIdOffset) != 0 || bytes[kResponseStatusOffset] != kStatusOk) {
    return kHelloNotSuccessful;
  }
  const bool supported =
      readU16(bytes + kHelloWidthOffset) == kLcdWidth && readU16(bytes + kHelloHeightOffset) == kLcdHeight &&
      readU16(bytes + kHelloFrameMaxOffset) == kFrameMaxLength &&
      readU16(bytes + kHelloStateLengthOffset) == kStateLength &&
      readU32(bytes + kHelloParam1Offset) == kHelloParam1 &&
      readU32(bytes + kHelloParam2Offset) == kHelloParam2 &&
      readU32(bytes + kHelloParam3Offset) == kHelloParam3 &&
      readU16(bytes + kHelloParam4Offset) == kHelloParam4;
  return supported ? kHelloOk : kHelloUnsupported;
}

}  // namespace pelmora
