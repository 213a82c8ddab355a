#pragma once
// The synthesizer's own message encoders: each builder lays out one FRAME,
// STATE, IMAGE or RESPONSE message byte for byte, header included. The
// defaults describe a valid, ordinary message; every field can be changed,
// and a builder writes what it is given (out-of-range values included), so
// the same encoders can produce the broken messages a faulty device might
// send. Only layout limits that cannot be encoded at all (a text longer than
// its field) are refused, with std::invalid_argument.
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/protocol/wire_format.h"

namespace pelmora::sim {

using Message = std::vector<std::uint8_t>;

// One line of the FRAME's debug block.
struct DebugLine {
  std::array<std::uint8_t, 2> attributes{};  // carried, not interpreted by the host
  std::string text;                          // at most 34 bytes
};

// FRAME header fields in message order. The debug-lines bit of `flags` is
// derived from `debugLines` (set exactly when lines are present).
struct FrameFields {
  std::uint32_t sessionId = 1;
  std::uint32_t frameSeq = 1;
  std::array<std::uint8_t, 4> bytes16{};  // bytes 16..19
  std::uint32_t stateSeq = 1;
  std::uint32_t imageId = 1;
  std::uint32_t historyId = 1;
  std::uint32_t historySeq = 1;
  Mode mode = Mode::Meters;
  std::uint8_t flags = 0;  // kFlagRowMasks | kFlagVolumeScreen | kFlagHistorySample
  std::uint8_t badge = kBadgeHidden;
  std::uint8_t counter1 = 0;
  std::uint8_t counter2 = 1;  // never 0 on a valid frame
  std::uint8_t levelAlarm = 0;
  std::uint8_t volume = 20;
  std::uint8_t eye = 0;
  std::uint8_t eyebrow = 0;
  std::uint8_t mouth = 0;
  std::uint8_t language = 0;
  std::uint8_t leftBar = 0;
  std::uint8_t rightBar = 0;
  std::array<std::uint8_t, 32> rowMasks{};
  // The mode payload. Empty means all zero bytes of the mode's size (valid
  // for every mode); otherwise written as given, with its own length.
  std::vector<std::uint8_t> payload;
  // Empty: no debug block. Otherwise 8 records are written; missing lines
  // stay blank. More than 8 lines is refused.
  std::vector<DebugLine> debugLines;
};

struct StateFields {
  std::uint32_t sessionId = 1;
  std::uint32_t stateSeq = 1;
  std::uint8_t byte16 = 0;  // below 5, or 255
  std::uint8_t byte17 = 0;  // 0 or 1
  std::string asciiTitle = "TONVERRA";  // at most 40 bytes
  std::string title1;                   // Shift_JIS bytes, at most 34
  std::string title2;                   // Shift_JIS bytes, at most 34
  std::array<std::uint16_t, kThemeColourCount> theme = {0xFFFF, 0x2A7F, 0x18E3, 0x07E0, 0x4208};
  std::array<std::uint8_t, 22> bytes139{};
  std::array<std::uint16_t, kSideBarRows> litBarColours = defaultLitBarColours();
  std::uint16_t barBaseColour = 0x8410;
  std::array<std::uint8_t, 22> bytes267{};
  std::array<std::uint16_t, kSideBarRows> unlitBarColours = defaultUnlitBarColours();
  std::array<std::uint8_t, 2> bytes393{};
  std::array<std::uint8_t, kChannelCount> channelValues{};
  std::array<std::uint8_t, kChannelCount> channelFlags{};
  std::array<std::string, kChannelCount> channelNames{};  // each at most 17 bytes

  // Green at the bottom through yellow to red at the top (row 0 is the top).
  static std::array<std::uint16_t, kSideBarRows> defaultLitBarColours();
  static std::array<std::uint16_t, kSideBarRows> defaultUnlitBarColours();
};

struct ImageFields {
  std::uint32_t sessionId = 1;
  std::uint32_t imageId = 1;
  std::uint32_t rowSeq = 1;
  std::uint8_t rowIndex = 0;
  std::array<std::uint16_t, kPictureSize> pixels{};  // RGB565, see imagePixel
};

struct ResponseFields {
  std::uint32_t argument = 0;  // echo of the command's argument (session id or 0)
  std::uint32_t requestId = 0;
  std::uint8_t command = static_cast<std::uint8_t>(Command::Heartbeat);
  std::uint8_t status = kStatusOk;
  std::vector<std::uint8_t> payload;  // L = 20 + payload size
};

// What a HELLO answer describes; the defaults are the values of this device.
struct HelloFields {
  std::uint16_t width = kLcdWidth;
  std::uint16_t height = kLcdHeight;
  std::uint16_t frameMaxLength = kFrameMaxLength;
  std::uint16_t stateLength = kStateLength;
  std::uint32_t param1 = kHelloParam1;
  std::uint32_t param2 = kHelloParam2;
  std::uint32_t param3 = kHelloParam3;
  std::uint16_t param4 = kHelloParam4;
  std::string identification = "TONVERRA LCD";  // printable ASCII, at most 15 bytes
};

// The fields of a command report as the device reads them.
struct CommandFields {
  std::uint8_t code = 0;
  std::uint32_t requestId = 0;
  std::uint32_t argument = 0;
};

Message buildFrame(const FrameFields& fields);
Message buildState(const StateFields& fields);
Message buildImage(const ImageFields& fields);
Message buildResponse(const ResponseFields& fields);

// Successful answers to HELLO (session id field 0) and OPEN_SESSION.
Message buildHelloAnswer(std::uint32_t requestId, const HelloFields& hello = {});
Message buildOpenSessionAnswer(std::uint32_t requestId, std::uint32_t newSessionId,
                               std::uint8_t flag = 0);
// An answer to `command` with the given status and no payload: the echo
// fields copied from the command.
Message buildAnswer(const CommandFields& command, std::uint8_t status = kStatusOk);

// Reads a 64-byte command report. Reports the fields whatever they hold;
// checking them is the device's business.
CommandFields parseCommand(std::span<const std::uint8_t, kReportLength> report);

// An RGB565 colour as an IMAGE row carries it: only the top four bits of each
// channel kept.
std::uint16_t imagePixel(std::uint16_t rgb565);

// A history sample for the spectrum mode: 128 four-bit cells packed two per
// byte, the even cell in the low nibble.
std::vector<std::uint8_t> packSpectrumSample(std::span<const std::uint8_t> cells);

}  // namespace pelmora::sim
