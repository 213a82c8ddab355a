#include "sim/message_builders.h"

#include <algorithm>
#include <stdexcept>

#include "core/protocol/byte_order.h"

namespace pelmora::sim {
namespace {

// Writes the common header; the length field is the vector's size, so the
// message must already have its final size.
void writeHeader(Message& m, std::uint32_t sessionId, std::uint32_t sequence) {
  std::copy(kMagic.begin(), kMagic.end(), m.begin() + kMagicOffset);
  m[kMajorOffset] = kProtocolMajor;
  m[kMinorOffset] = kProtocolMinor;
  writeU16(&m[kLengthOffset], static_cast<std::uint16_t>(m.size()));
  writeU32(&m[kSessionIdOffset], sessionId);
  writeU32(&m[kSequenceOffset], sequence);
}

// A length byte followed by a zero-padded text field.
void writeCountedText(Message& m, std::size_t lengthOffset, std::size_t textOffset,
                      std::size_t capacity, const std::string& text) {
  if (text.size() > capacity) {
    throw std::invalid_argument("text longer than its field");
  }
  m[lengthOffset] = static_cast<std::uint8_t>(text.size());
  std::copy(text.begin(), text.end(), m.begin() + static_cast<std::ptrdiff_t>(textOffset));
}

void writeColours(Message& m, std::size_t offset, std::span<const std::uint16_t> colours) {
  for (std::size_t i = 0; i < colours.size(); ++i) {
    writeU16(&m[offset + 2 * i], colours[i]);
  }
}

template <std::size_t N>
void writeBytes(Message& m, std::size_t offset, const std::array<std::uint8_t, N>& bytes) {
  std::copy(bytes.begin(), bytes.end(), m.begin() + static_cast<std::ptrdiff_t>(offset));
}

void writeDebugLines(Message& m, std::size_t offset, const std::vector<DebugLine>& lines) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::size_t record = offset + i * kDebugRecordLength;
    writeBytes(m, record, lines[i].attributes);
    writeCountedText(m, record + kDebugTextLengthOffset, record + kDebugTextOffset,
                     kDebugMaxTextLength, lines[i].text);
  }
}

}  // namespace

std::array<std::uint16_t, kSideBarRows> StateFields::defaultLitBarColours() {
  constexpr std::uint16_t kRed = 0xF800;
  constexpr std::uint16_t kYellow = 0xFFE0;
  constexpr std::uint16_t kGreen = 0x07E0;
  std::array<std::uint16_t, kSideBarRows> colours{};
  for (std::size_t row = 0; row < kSideBarRows; ++row) {
    colours[row] = row < kSideBarRows / 8 ? kRed : row < kSideBarRows / 3 ? kYellow : kGreen;
  }
  return colours;
}

std::array<std::uint16_t, kSideBarRows> StateFields::defaultUnlitBarColours() {
  std::array<std::uint16_t, kSideBarRows> colours{};
  colours.fill(0x2104);
  return colours;
}

Message buildFrame(const FrameFields& f) {
  const auto modeIndex = static_cast<std::size_t>(f.mode);
  const std::size_t payloadLength =
      !f.payload.empty() || modeIndex >= kModeCount ? f.payload.size() : kModePayloadLength[modeIndex];
  if (f.debugLines.size() > kDebugLineCount) {
    throw std::invalid_argument("more than 8 debug lines");
  }
  const std::size_t debugLength = f.debugLines.empty() ? 0 : kDebugLinesLength;
  Message m(kFramePayloadOffset + payloadLength + debugLength, 0);
  writeHeader(m, f.sessionId, f.frameSeq);
  writeBytes(m, kFrameBytes16Offset, f.bytes16);
  writeU32(&m[kFrameStateSeqOffset], f.stateSeq);
  writeU32(&m[kFrameImageIdOffset], f.imageId);
  writeU32(&m[kFrameHistoryIdOffset], f.historyId);
  writeU32(&m[kFrameHistorySeqOffset], f.historySeq);
  m[kFrameModeOffset] = static_cast<std::uint8_t>(f.mode);
  m[kFrameFlagsOffset] = static_cast<std::uint8_t>((f.flags & ~kFlagDebugLines) |
                                                   (debugLength != 0 ? kFlagDebugLines : 0));
  m[kFrameBadgeOffset] = f.badge;
  m[kFrameCounter1Offset] = f.counter1;
  m[kFrameCounter2Offset] = f.counter2;
  m[kFrameLevelAlarmOffset] = f.levelAlarm;
  m[kFrameVolumeOffset] = f.volume;
  m[kFrameEyeOffset] = f.eye;
  m[kFrameEyebrowOffset] = f.eyebrow;
  m[kFrameMouthOffset] = f.mouth;
  m[kFrameLanguageOffset] = f.language;
  m[kFrameLeftBarOffset] = f.leftBar;
  m[kFrameRightBarOffset] = f.rightBar;
  writeBytes(m, kFrameRowMasksOffset, f.rowMasks);
  writeU16(&m[kFramePayloadLengthOffset], static_cast<std::uint16_t>(payloadLength));
  writeU16(&m[kFrameDebugLengthOffset], static_cast<std::uint16_t>(debugLength));
  std::copy(f.payload.begin(), f.payload.end(), m.begin() + kFramePayloadOffset);
  writeDebugLines(m, kFramePayloadOffset + payloadLength, f.debugLines);
  return m;
}

Message buildState(const StateFields& s) {
  Message m(kStateLength, 0);
  writeHeader(m, s.sessionId, s.stateSeq);
  m[kStateByte16Offset] = s.byte16;
  m[kStateByte17Offset] = s.byte17;
  writeCountedText(m, kStateAsciiTitleLengthOffset, kStateAsciiTitleOffset, kStateAsciiTitleMax,
                   s.asciiTitle);
  writeCountedText(m, kStateTitle1LengthOffset, kStateTitle1Offset, kStateJapaneseTitleMax, s.title1);
  writeCountedText(m, kStateTitle2LengthOffset, kStateTitle2Offset, kStateJapaneseTitleMax, s.title2);
  writeColours(m, kStateThemeOffset, s.theme);
  writeBytes(m, kStateBytes139Offset, s.bytes139);
  writeColours(m, kStateLitBarColoursOffset, s.litBarColours);
  writeU16(&m[kStateBarBaseColourOffset], s.barBaseColour);
  writeBytes(m, kStateBytes267Offset, s.bytes267);
  writeColours(m, kStateUnlitBarColoursOffset, s.unlitBarColours);
  writeBytes(m, kStateBytes393Offset, s.bytes393);
  writeBytes(m, kStateChannelValuesOffset, s.channelValues);
  writeBytes(m, kStateChannelFlagsOffset, s.channelFlags);
  for (std::size_t i = 0; i < kChannelCount; ++i) {
    const std::size_t record = kStateChannelNamesOffset + i * kChannelNameRecordLength;
    writeCountedText(m, record, record + 1, kChannelNameMax, s.channelNames[i]);
  }
  return m;
}

Message buildImage(const ImageFields& f) {
  Message m(kImageLength, 0);
  writeHeader(m, f.sessionId, f.imageId);
  writeU32(&m[kImageRowSeqOffset], f.rowSeq);
  m[kImageRowIndexOffset] = f.rowIndex;
  writeColours(m, kImagePixelsOffset, f.pixels);
  return m;
}

Message buildResponse(const ResponseFields& f) {
  Message m(kResponsePayloadOffset + f.payload.size(), 0);
  writeHeader(m, f.argument, f.requestId);
  m[kResponseCommandOffset] = f.command;
  m[kResponseStatusOffset] = f.status;
  writeU16(&m[kResponsePayloadLengthOffset], static_cast<std::uint16_t>(f.payload.size()));
  std::copy(f.payload.begin(), f.payload.end(), m.begin() + kResponsePayloadOffset);
  return m;
}

Message buildHelloAnswer(std::uint32_t requestId, const HelloFields& h) {
  if (h.identification.size() > kHelloMaxTextLength) {
    throw std::invalid_argument("identification text longer than its field");
  }
  ResponseFields r;
  r.requestId = requestId;
  r.command = static_cast<std::uint8_t>(Command::Hello);
  r.payload.assign(kHelloMinLength - kResponsePayloadOffset + h.identification.size(), 0);
  Message m = buildResponse(r);
  writeU16(&m[kHelloWidthOffset], h.width);
  writeU16(&m[kHelloHeightOffset], h.height);
  writeU16(&m[kHelloFrameMaxOffset], h.frameMaxLength);
  writeU16(&m[kHelloStateLengthOffset], h.stateLength);
  writeU32(&m[kHelloParam1Offset], h.param1);
  writeU32(&m[kHelloParam2Offset], h.param2);
  writeU32(&m[kHelloParam3Offset], h.param3);
  writeU16(&m[kHelloParam4Offset], h.param4);
  writeCountedText(m, kHelloTextLengthOffset, kHelloTextOffset, kHelloMaxTextLength, h.identification);
  return m;
}

Message buildOpenSessionAnswer(std::uint32_t requestId, std::uint32_t newSessionId, std::uint8_t flag) {
  ResponseFields r;
  r.requestId = requestId;
  r.command = static_cast<std::uint8_t>(Command::OpenSession);
  r.payload.assign(kOpenSessionLength - kResponsePayloadOffset, 0);
  Message m = buildResponse(r);
  writeU32(&m[kOpenSessionIdOffset], newSessionId);
  m[kOpenSessionFlagOffset] = flag;
  return m;
}

Message buildAnswer(const CommandFields& command, std::uint8_t status) {
  ResponseFields r;
  r.argument = command.argument;
  r.requestId = command.requestId;
  r.command = command.code;
  r.status = status;
  return buildResponse(r);
}

CommandFields parseCommand(std::span<const std::uint8_t, kReportLength> report) {
  CommandFields c;
  c.code = report[kCommandCodeOffset];
  c.requestId = readU32(&report[kCommandRequestIdOffset]);
  c.argument = readU32(&report[kCommandArgumentOffset]);
  return c;
}

std::uint16_t imagePixel(std::uint16_t rgb565) {
  return static_cast<std::uint16_t>(rgb565 & ~kImageForbiddenBits);
}

std::vector<std::uint8_t> packSpectrumSample(std::span<const std::uint8_t> cells) {
  std::vector<std::uint8_t> packed((cells.size() + 1) / 2, 0);
  for (std::size_t c = 0; c < cells.size(); ++c) {
    const auto nibble = static_cast<std::uint8_t>(cells[c] & kLowNibbleMask);
    packed[c / 2] |= static_cast<std::uint8_t>(c % 2 == 0 ? nibble : nibble << kNibbleBits);
  }
  return packed;
}

}  // namespace pelmora::sim
