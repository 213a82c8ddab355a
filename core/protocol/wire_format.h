#pragma once
// Protocol 2.0 on the wire: the command report the host sends, the input
// reports the device streams, and the layouts of the four message kinds.
// Every length, offset and limit of the protocol is named here once.
#include <array>
#include <cstddef>
#include <cstdint>

namespace pelmora {

// ---- Reports -------------------------------------------------------------
inline constexpr std::size_t kReportLength = 64;
inline constexpr std::uint8_t kInputReportId = 1;
inline constexpr std::uint8_t kCommandReportId = 2;
inline constexpr std::array<std::uint8_t, 4> kMagic = {'L', 'C', 'S', '1'};
inline constexpr std::uint8_t kProtocolMajor = 2;
inline constexpr std::uint8_t kProtocolMinor = 0;

using Report = std::array<std::uint8_t, kReportLength>;
using CommandReport = Report;

// Command report offsets.
inline constexpr std::size_t kCommandMagicOffset = 1;
inline constexpr std::size_t kCommandMajorOffset = 5;
inline constexpr std::size_t kCommandMinorOffset = 6;
inline constexpr std::size_t kCommandCodeOffset = 7;
inline constexpr std::size_t kCommandRequestIdOffset = 8;
inline constexpr std::size_t kCommandArgumentOffset = 12;

// Input report (one fragment) offsets.
inline constexpr std::size_t kFragmentKindOffset = 1;
inline constexpr std::size_t kFragmentTransferOffset = 2;
inline constexpr std::size_t kFragmentIndexOffset = 6;
inline constexpr std::size_t kFragmentCountOffset = 7;
inline constexpr std::size_t kFragmentDataOffset = 8;
inline constexpr std::size_t kFragmentDataLength = 56;
inline constexpr std::size_t kMaxFragments = 13;

// ---- Commands and statuses -----------------------------------------------
enum class Command : std::uint8_t {
  Hello = 1,
  OpenSession = 2,
  CloseSession = 3,
  Heartbeat = 4,
  RequestState = 5,
};
inline constexpr std::uint8_t kFirstCommand = 1;
inline constexpr std::uint8_t kLastCommand = 5;

inline constexpr std::uint8_t kStatusOk = 0;
inline constexpr std::uint8_t kStatusRejected1 = 1;
inline constexpr std::uint8_t kStatusUnsupported = 2;
inline constexpr std::uint8_t kStatusRejected3 = 3;
inline constexpr std::uint8_t kStatusNotAccepted = 4;  // HELLO: retry once
inline constexpr std::uint8_t kStatusBusy = 5;
inline constexpr std::uint8_t kStatusIgnored = 6;      // REQUEST_STATE: ignore
inline constexpr std::uint8_t kMaxStatus = 6;

// ---- Message kinds ---------------------------------------------------------
enum class MessageKind : std::uint8_t { Frame = 1, State = 2, Image = 3, Response = 4 };
inline constexpr std::uint8_t kFirstKind = 1;
inline constexpr std::uint8_t kLastKind = 4;
inline constexpr std::size_t kKindCount = 4;

inline constexpr std::size_t kHeaderLength = 12;
inline constexpr std::size_t kFrameMinLength = 96;
inline constexpr std::size_t kFrameMaxLength = 728;
inline constexpr std::size_t kStateLength = 715;
inline constexpr std::size_t kImageLength = 149;
inline constexpr std::size_t kResponseMinLength = 20;
inline constexpr std::size_t kResponseMaxLength = 128;
inline constexpr std::size_t kMessageMaxLength = kFrameMaxLength;

// Index by kind - 1.
inline constexpr std::array<std::size_t, kKindCount> kKindMaxLength = {
    kFrameMaxLength, kStateLength, kImageLength, kResponseMaxLength};
inline constexpr std::array<std::uint64_t, kKindCount> kKindWholeLimitMs = {1000, 3000, 2000, 2000};
inline constexpr std::array<std::uint64_t, kKindCount> kKindGapLimitMs = {250, 500, 500, 500};

// ---- Common header ---------------------------------------------------------
inline constexpr std::size_t kMagicOffset = 0;
inline constexpr std::size_t kMajorOffset = 4;
inline constexpr std::size_t kMinorOffset = 5;
inline constexpr std::size_t kLengthOffset = 6;
inline constexpr std::size_t kSessionIdOffset = 8;
inline constexpr std::size_t kSequenceOffset = 12;  // frameSeq, stateSeq, imageId, requestId

// ---- RESPONSE ---------------------------------------------------------------
inline constexpr std::size_t kResponseArgumentOffset = 8;
inline constexpr std::size_t kResponseRequestIdOffset = 12;
inline constexpr std::size_t kResponseCommandOffset = 16;
inline constexpr std::size_t kResponseStatusOffset = 17;
inline constexpr std::size_t kResponsePayloadLengthOffset = 18;
inline constexpr std::size_t kResponsePayloadOffset = 20;

// HELLO answer payload.
inline constexpr std::size_t kHelloWidthOffset = 20;
inline constexpr std::size_t kHelloHeightOffset = 22;
inline constexpr std::size_t kHelloFrameMaxOffset = 24;
inline constexpr std::size_t kHelloStateLengthOffset = 26;
inline constexpr std::size_t kHelloParam1Offset = 28;
inline constexpr std::size_t kHelloParam2Offset = 32;
inline constexpr std::size_t kHelloParam3Offset = 36;
inline constexpr std::size_t kHelloParam4Offset = 40;
inline constexpr std::size_t kHelloTextLengthOffset = 42;
inline constexpr std::size_t kHelloTextOffset = 43;
inline constexpr std::size_t kHelloMinLength = 43;
inline constexpr std::size_t kHelloMaxTextLength = 15;
inline constexpr std::uint8_t kHelloTextFirstChar = 32;  // printable ASCII only
inline constexpr std::uint8_t kHelloTextLastChar = 126;
inline constexpr std::uint16_t kLcdWidth = 320;
inline constexpr std::uint16_t kLcdHeight = 170;
inline constexpr std::uint32_t kHelloParam1 = 127;
inline constexpr std::uint32_t kHelloParam2 = 38400;
inline constexpr std::uint32_t kHelloParam3 = 9600;
inline constexpr std::uint16_t kHelloParam4 = 127;

// OPEN_SESSION answer payload.
inline constexpr std::size_t kOpenSessionLength = 28;
inline constexpr std::size_t kOpenSessionIdOffset = 20;
inline constexpr std::size_t kOpenSessionFlagOffset = 24;

// ---- FRAME -------------------------------------------------------------------
inline constexpr std::size_t kFrameSeqOffset = 12;
inline constexpr std::size_t kFrameBytes16Offset = 16;  // 4 bytes, no rule
inline constexpr std::size_t kFrameStateSeqOffset = 20;
inline constexpr std::size_t kFrameImageIdOffset = 24;
inline constexpr std::size_t kFrameHistoryIdOffset = 28;
inline constexpr std::size_t kFrameHistorySeqOffset = 32;
inline constexpr std::size_t kFrameModeOffset = 36;
inline constexpr std::size_t kFrameFlagsOffset = 37;
inline constexpr std::size_t kFrameBadgeOffset = 38;
inline constexpr std::size_t kFrameCounter1Offset = 39;
inline constexpr std::size_t kFrameCounter2Offset = 40;
inline constexpr std::size_t kFrameLevelAlarmOffset = 41;
inline constexpr std::size_t kFrameVolumeOffset = 42;
inline constexpr std::size_t kFrameEyeOffset = 43;
inline constexpr std::size_t kFrameEyebrowOffset = 44;
inline constexpr std::size_t kFrameMouthOffset = 45;
inline constexpr std::size_t kFrameLanguageOffset = 46;
inline constexpr std::size_t kFrameLeftBarOffset = 47;
inline constexpr std::size_t kFrameRightBarOffset = 48;
inline constexpr std::size_t kFrameRowMasksOffset = 49;
inline constexpr std::size_t kFramePayloadLengthOffset = 81;
inline constexpr std::size_t kFrameDebugLengthOffset = 83;
inline constexpr std::size_t kFrameReservedOffset = 85;
inline constexpr std::size_t kFrameReservedLength = 11;
inline constexpr std::size_t kFramePayloadOffset = 96;

inline constexpr std::uint8_t kFlagRowMasks = 0x01;
inline constexpr std::uint8_t kFlagVolumeScreen = 0x02;
inline constexpr std::uint8_t kFlagDebugLines = 0x04;
inline constexpr std::uint8_t kFlagHistorySample = 0x08;
inline constexpr std::uint8_t kMaxFlags = 15;

inline constexpr std::uint8_t kBadgeHidden = 255;
inline constexpr std::uint8_t kMaxBadge = 2;  // below 3, or kBadgeHidden
inline constexpr std::uint8_t kMaxLevelAlarm = 2;
inline constexpr std::uint8_t kMaxVolume = 41;
inline constexpr std::uint8_t kMaxEye = 6;
inline constexpr std::uint8_t kMaxEyebrow = 3;
inline constexpr std::uint8_t kMaxMouth = 8;
inline constexpr std::uint8_t kMaxLanguage = 1;
inline constexpr std::uint8_t kMaxSideBarLevel = 63;

enum class Mode : std::uint8_t {
  Meters = 0,
  Face = 1,
  PianoRoll = 2,
  Scope = 3,
  Picture = 4,
  Channels = 5,
  Spectrum = 6,
};
inline constexpr std::size_t kModeCount = 7;
inline constexpr std::array<std::size_t, kModeCount> kModePayloadLength = {32, 32, 144, 257, 32, 336, 64};

inline constexpr std::size_t kDebugLineCount = 8;
inline constexpr std::size_t kDebugRecordLength = 37;
inline constexpr std::size_t kDebugLinesLength = kDebugLineCount * kDebugRecordLength;  // 296
inline constexpr std::size_t kDebugTextLengthOffset = 2;
inline constexpr std::size_t kDebugTextOffset = 3;
inline constexpr std::size_t kDebugMaxTextLength = 34;

// Payload rules.
inline constexpr std::uint8_t kMaxMeterValue = 15;          // modes 0, 1, 4
inline constexpr std::size_t kPianoRollSampleLength = 128;  // mode 2 bytes 0..127
inline constexpr std::uint8_t kMaxPianoRollCell = 17;
inline constexpr std::uint8_t kMaxScopeTrigger = 1;         // mode 3 byte 0
inline constexpr std::size_t kChannelCount = 16;
inline constexpr std::uint8_t kMaxChannelLevel = 30;        // mode 5 bytes 0..15
inline constexpr std::size_t kChannelParamsOffset = 272;    // mode 5, relative to payload
inline constexpr std::uint8_t kMaxChannelParam = 10;
inline constexpr std::size_t kSpectrumSampleLength = 64;    // mode 6: 128 nibbles
// Four-bit values travel two to a byte, the even one in the low nibble.
inline constexpr std::uint8_t kLowNibbleMask = 0x0F;
inline constexpr unsigned kNibbleBits = 4;

// ---- STATE -------------------------------------------------------------------
inline constexpr std::size_t kStateSeqOffset = 12;
inline constexpr std::size_t kStateByte16Offset = 16;  // below 5, or 255
inline constexpr std::uint8_t kStateByte16Limit = 5;
inline constexpr std::uint8_t kStateByte16None = 255;
inline constexpr std::size_t kStateByte17Offset = 17;  // 0 or 1
inline constexpr std::size_t kStateAsciiTitleLengthOffset = 18;
inline constexpr std::size_t kStateAsciiTitleOffset = 19;
inline constexpr std::size_t kStateAsciiTitleMax = 40;
inline constexpr std::size_t kStateTitle1LengthOffset = 59;
inline constexpr std::size_t kStateTitle1Offset = 60;
inline constexpr std::size_t kStateTitle2LengthOffset = 94;
inline constexpr std::size_t kStateTitle2Offset = 95;
inline constexpr std::size_t kStateJapaneseTitleMax = 34;
inline constexpr std::size_t kStateThemeOffset = 129;  // 5 x u16
inline constexpr std::size_t kThemeColourCount = 5;
inline constexpr std::size_t kStateBytes139Offset = 139;  // 22 bytes, no rule
inline constexpr std::size_t kStateLitBarColoursOffset = 161;  // 52 x u16
inline constexpr std::size_t kStateBarBaseColourOffset = 265;
inline constexpr std::size_t kStateBytes267Offset = 267;  // 22 bytes, no rule
inline constexpr std::size_t kStateUnlitBarColoursOffset = 289;  // 52 x u16
inline constexpr std::size_t kStateBytes393Offset = 393;  // 2 bytes, no rule
inline constexpr std::size_t kSideBarRows = 52;
inline constexpr std::size_t kStateChannelValuesOffset = 395;  // 16 x u8, <= 127
inline constexpr std::uint8_t kMaxChannelValue = 127;
inline constexpr std::size_t kStateChannelFlagsOffset = 411;  // 16 x u8, <= 1
inline constexpr std::size_t kStateChannelNamesOffset = 427;  // 16 x 18 bytes
inline constexpr std::size_t kChannelNameRecordLength = 18;
inline constexpr std::size_t kChannelNameMax = 17;

// ---- IMAGE -------------------------------------------------------------------
inline constexpr std::size_t kImageIdOffset = 12;
inline constexpr std::size_t kImageRowSeqOffset = 16;
inline constexpr std::size_t kImageRowIndexOffset = 20;
inline constexpr std::size_t kImagePixelsOffset = 21;
inline constexpr std::size_t kPictureSize = 64;  // 64 x 64 pixels
inline constexpr std::uint16_t kImageForbiddenBits = 0x0861;

// ---- Operations --------------------------------------------------------------

// The 64-byte CommandReport for one command. Throws std::invalid_argument
// ("Feature command") for a code outside 1..5: that is a programming error.
CommandReport buildCommand(std::uint8_t code, std::uint32_t requestId, std::uint32_t argument);

// True when the message obeys every layout and field rule of its kind.
// Reads nothing beyond `length` bytes.
bool validateMessage(std::uint8_t kind, const std::uint8_t* bytes, std::size_t length);

enum HelloCheck : int { kHelloOk = 0, kHelloNotSuccessful = 1, kHelloUnsupported = 2 };
// 0: acceptable HELLO answer; 1: not a successful HELLO answer; 2: a HELLO
// answer with values this host does not support.
int checkHello(const std::uint8_t* bytes, std::size_t length);

}  // namespace pelmora
