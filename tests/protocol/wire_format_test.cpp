#include "core/protocol/wire_format.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "core/protocol/byte_order.h"
#include "message_support.h"

namespace pelmora {
namespace {

using test::kFrame;
using test::kImage;
using test::kResponse;
using test::kState;
using test::valid;

struct Patch {
  const char* what;
  std::size_t offset;
  std::uint8_t value;
  bool stillValid;
};

void expectPatches(std::uint8_t kind, const std::vector<std::uint8_t>& base, const std::vector<Patch>& patches) {
  ASSERT_TRUE(valid(kind, base));
  for (const Patch& p : patches) {
    std::vector<std::uint8_t> m = base;
    m[p.offset] = p.value;
    EXPECT_EQ(valid(kind, m), p.stillValid) << p.what;
  }
}

TEST(BuildCommand, LaysOutTheReportAndRefusesUnknownCodes) {
  const CommandReport r = buildCommand(4, 0x11223344, 0xA1B2C3D4);
  const std::vector<std::uint8_t> head(r.begin(), r.begin() + 16);
  EXPECT_EQ(head, (std::vector<std::uint8_t>{2, 'L', 'C', 'S', '1', 2, 0, 4, 0x44, 0x33, 0x22, 0x11, 0xD4,
                                             0xC3, 0xB2, 0xA1}));
  for (std::size_t i = 16; i < r.size(); ++i) EXPECT_EQ(r[i], 0) << i;

  for (std::uint8_t code : {0, 6, 255}) {
    try {
      buildCommand(code, 1, 1);
      ADD_FAILURE() << "code " << int(code) << " accepted";
    } catch (const std::invalid_argument& e) {
      EXPECT_STREQ(e.what(), "Feature command");
    }
  }
}

TEST(ValidateMessage, EveryFrameTheDeviceBuildsIsValid) {
  for (std::size_t mode = 0; mode < kModeCount; ++mode) {
    for (bool debug : {false, true}) {
      for (std::uint8_t flags : {0, 1 | 2 | 8}) {
        sim::FrameFields f;
        f.mode = static_cast<Mode>(mode);
        f.flags = flags;
        if (debug) f.debugLines = {{{7, 9}, "CPU 12%"}, {{}, std::string(34, 'x')}};
        const auto m = sim::buildFrame(f);
        EXPECT_EQ(m.size(), kFramePayloadOffset + kModePayloadLength[mode] + (debug ? kDebugLinesLength : 0));
        EXPECT_TRUE(valid(kFrame, m)) << "mode " << mode << " debug " << debug << " flags " << int(flags);
        EXPECT_FALSE(valid(kState, m));
      }
    }
  }
}

TEST(ValidateMessage, FrameFieldRules) {
  sim::FrameFields f;
  f.debugLines = {{{}, "abc"}};
  const auto base = sim::buildFrame(f);
  const std::size_t debug = kFramePayloadOffset + kModePayloadLength[0];
  expectPatches(kFrame, base,
                {
                    {"magic", 0, 'l', false},
                    {"protocol 3.0", kMajorOffset, 3, false},
                    {"protocol 2.1", kMinorOffset, 1, false},
                    {"length field", kLengthOffset, 0, false},
                    {"mode 7", kFrameModeOffset, 7, false},
                    {"flags 16", kFrameFlagsOffset, 16 | kFlagDebugLines, false},
                    {"debug bit cleared", kFrameFlagsOffset, 0, false},
                    {"badge 2", kFrameBadgeOffset, 2, true},
                    {"badge 3", kFrameBadgeOffset, 3, false},
                    {"badge 254", kFrameBadgeOffset, 254, false},
                    {"counter 1 free", kFrameCounter1Offset, 255, true},
                    {"counter 2 zero", kFrameCounter2Offset, 0, false},
                    {"alarm 2", kFrameLevelAlarmOffset, 2, true},
                    {"alarm 3", kFrameLevelAlarmOffset, 3, false},
                    {"volume 41", kFrameVolumeOffset, 41, true},
                    {"volume 42", kFrameVolumeOffset, 42, false},
                    {"eye 7", kFrameEyeOffset, 7, false},
                    {"eyebrow 4", kFrameEyebrowOffset, 4, false},
                    {"mouth 9", kFrameMouthOffset, 9, false},
                    {"language 2", kFrameLanguageOffset, 2, false},
                    {"left bar 63", kFrameLeftBarOffset, 63, true},
                    {"left bar 64", kFrameLeftBarOffset, 64, false},
                    {"right bar 64", kFrameRightBarOffset, 64, false},
                    {"row masks free", kFrameRowMasksOffset + 31, 255, true},
                    {"reserved first", kFrameReservedOffset, 1, false},
                    {"reserved last", kFramePayloadOffset - 1, 1, false},
                    {"meter value 15", kFramePayloadOffset + 31, 15, true},
                    {"meter value 16", kFramePayloadOffset + 31, 16, false},
                    {"debug attributes free", debug + kDebugRecordLength, 0xFF, true},
                    {"debug text length 34", debug + kDebugTextLengthOffset, 34, true},
                    {"debug text length 35", debug + kDebugTextLengthOffset, 35, false},
                    {"debug text tail", debug + kDebugTextOffset + 3, 'd', false},
                    {"debug last record tail", debug + kDebugLinesLength - 1, 'z', false},
                });

  auto zeroState = base;
  writeU32(&zeroState[kFrameStateSeqOffset], 0);
  EXPECT_FALSE(valid(kFrame, zeroState));
}

TEST(ValidateMessage, FrameLengthsMustAgree) {
  sim::FrameFields pianoRollShort;
  pianoRollShort.mode = Mode::PianoRoll;
  pianoRollShort.payload.assign(32, 0);
  EXPECT_FALSE(valid(kFrame, sim::buildFrame(pianoRollShort)));

  // Bit 2 set, but no debug block follows.
  auto noDebug = sim::buildFrame({});
  noDebug[kFrameFlagsOffset] = kFlagDebugLines;
  EXPECT_FALSE(valid(kFrame, noDebug));

  // A debug length other than 0 and 296, with the message length to match.
  sim::FrameFields f;
  f.payload.assign(32 + 295, 0);
  auto odd = sim::buildFrame(f);
  writeU16(&odd[kFramePayloadLengthOffset], 32);
  writeU16(&odd[kFrameDebugLengthOffset], 295);
  odd[kFrameFlagsOffset] = kFlagDebugLines;
  EXPECT_FALSE(valid(kFrame, odd));

  // A frame whose length field is honest but shorter than its payload claims.
  const auto full = sim::buildFrame({});
  std::vector<std::uint8_t> cut(full.begin(), full.end() - 1);
  writeU16(&cut[kLengthOffset], static_cast<std::uint16_t>(cut.size()));
  EXPECT_FALSE(valid(kFrame, cut));
}

TEST(ValidateMessage, ModePayloadRules) {
  struct Case {
    Mode mode;
    std::size_t at;
    std::uint8_t value;
    bool stillValid;
  };
  const Case cases[] = {
      {Mode::Face, 0, 16, false},          {Mode::Picture, 31, 16, false},
      {Mode::PianoRoll, 127, 17, true},    {Mode::PianoRoll, 127, 18, false},
      {Mode::PianoRoll, 128, 255, true},   {Mode::Scope, 0, 1, true},
      {Mode::Scope, 0, 2, false},          {Mode::Scope, 256, 255, true},
      {Mode::Channels, 15, 30, true},      {Mode::Channels, 15, 31, false},
      {Mode::Channels, 16, 255, true},     {Mode::Channels, 271, 255, true},
      {Mode::Channels, 272, 0xAA, true},   {Mode::Channels, 335, 0xAB, false},
      {Mode::Channels, 300, 0xBA, false},  {Mode::Channels, 300, 0xAF, false},
      {Mode::Spectrum, 63, 255, true},
  };
  for (const Case& c : cases) {
    sim::FrameFields f;
    f.mode = c.mode;
    f.payload.assign(kModePayloadLength[static_cast<std::size_t>(c.mode)], 0);
    f.payload[c.at] = c.value;
    EXPECT_EQ(valid(kFrame, sim::buildFrame(f)), c.stillValid)
        << "mode " << int(c.mode) << " byte " << c.at << " value " << int(c.value);
  }
}

sim::StateFields richState() {
  sim::StateFields s;
  s.asciiTitle = std::string(40, 'T');
  s.title1 = "\x83\x65\x83\x58\x83\x67";  // Shift_JIS katakana
  s.title2 = std::string(34, '\x88');
  s.byte16 = 255;
  s.byte17 = 1;
  s.bytes139.fill(0xEE);
  s.bytes393.fill(0xEE);
  s.channelValues.fill(127);
  s.channelFlags.fill(1);
  for (std::size_t i = 0; i < kChannelCount; ++i) s.channelNames[i] = std::string(i + 2, 'n');
  return s;
}

TEST(ValidateMessage, StateRules) {
  EXPECT_TRUE(valid(kState, sim::buildState({})));
  const auto base = sim::buildState(richState());
  EXPECT_EQ(base.size(), kStateLength);
  const std::size_t lastName = kStateChannelNamesOffset + 15 * kChannelNameRecordLength;
  expectPatches(kState, base,
                {
                    {"byte 16 = 4", kStateByte16Offset, 4, true},
                    {"byte 16 = 5", kStateByte16Offset, 5, false},
                    {"byte 17 = 2", kStateByte17Offset, 2, false},
                    {"ascii title 41", kStateAsciiTitleLengthOffset, 41, false},
                    {"ascii title shorter, tail left", kStateAsciiTitleLengthOffset, 39, false},
                    {"title 1 tail", kStateTitle1Offset + 6, 'x', false},
                    {"title 1 length 35", kStateTitle1LengthOffset, 35, false},
                    {"title 2 length 35", kStateTitle2LengthOffset, 35, false},
                    {"theme free", kStateThemeOffset, 0x61, true},
                    {"channel value 128", kStateChannelValuesOffset + 15, 128, false},
                    {"channel flag 2", kStateChannelFlagsOffset, 2, false},
                    {"name length 17", lastName, 17, true},
                    {"name length 18", lastName, 18, false},
                    {"name tail", kStateChannelNamesOffset + kChannelNameRecordLength - 1, 'q', false},
                    {"protocol 2.1", kMinorOffset, 1, false},
                });
  auto zero = base;
  writeU32(&zero[kStateSeqOffset], 0);
  EXPECT_FALSE(valid(kState, zero));
  sim::StateFields tooLong;
  tooLong.asciiTitle = std::string(41, 'x');
  EXPECT_THROW(sim::buildState(tooLong), std::invalid_argument);
}

TEST(ValidateMessage, ImageRules) {
  sim::ImageFields img;
  img.rowIndex = 63;
  img.pixels.fill(sim::imagePixel(0xFFFF));
  const auto base = sim::buildImage(img);
  EXPECT_EQ(sim::imagePixel(0xFFFF), 0xF79E);
  expectPatches(kImage, base, {{"row 64", kImageRowIndexOffset, 64, false}});
  for (std::uint16_t bit : {0x0001, 0x0020, 0x0040, 0x0800}) {
    auto m = base;
    writeU16(&m[kImagePixelsOffset + 2 * 63], static_cast<std::uint16_t>(0xF79E | bit));
    EXPECT_FALSE(valid(kImage, m)) << bit;
  }
}

sim::HelloFields helloFields(const std::string& identification) {
  sim::HelloFields h;
  h.identification = identification;
  return h;
}

sim::ResponseFields response(std::uint32_t argument, std::uint8_t command, std::uint8_t status,
                             std::size_t payloadLength) {
  sim::ResponseFields r;
  r.argument = argument;
  r.command = command;
  r.status = status;
  r.payload.assign(payloadLength, 0);
  return r;
}

TEST(ValidateMessage, ResponseRules) {
  EXPECT_TRUE(valid(kResponse, sim::buildHelloAnswer(7)));
  EXPECT_TRUE(valid(kResponse, sim::buildHelloAnswer(7, helloFields(""))));
  EXPECT_TRUE(valid(kResponse, sim::buildOpenSessionAnswer(7, 99, 1)));
  for (std::uint8_t code = 3; code <= 5; ++code) {
    EXPECT_TRUE(valid(kResponse, sim::buildAnswer({code, 1, 42})));
    EXPECT_FALSE(valid(kResponse, sim::buildResponse(response(42, code, 0, 1))))
        << "a successful answer to command " << int(code) << " carries no payload";
  }
  for (std::uint8_t status = 1; status <= 6; ++status) {
    EXPECT_TRUE(valid(kResponse, sim::buildAnswer({1, 1, 0}, status)));
    EXPECT_FALSE(valid(kResponse, sim::buildResponse(response(0, 1, status, 1))));
  }
  EXPECT_FALSE(valid(kResponse, sim::buildAnswer({1, 1, 0}, 7)));
  EXPECT_FALSE(valid(kResponse, sim::buildAnswer({0, 1, 0})));
  EXPECT_FALSE(valid(kResponse, sim::buildAnswer({6, 1, 0})));
  // HELLO and OPEN_SESSION need their payloads.
  EXPECT_FALSE(valid(kResponse, sim::buildAnswer({1, 1, 0})));
  EXPECT_FALSE(valid(kResponse, sim::buildAnswer({2, 1, 0})));
  EXPECT_FALSE(valid(kResponse, sim::buildOpenSessionAnswer(7, 0)));

  const auto open = sim::buildOpenSessionAnswer(7, 99);
  const auto hello = sim::buildHelloAnswer(7, helloFields("ABC"));
  expectPatches(kResponse, open,
                {{"flag 2", kOpenSessionFlagOffset, 2, false},
                 {"reserved", kOpenSessionLength - 1, 1, false},
                 {"payload length", kResponsePayloadLengthOffset, 9, false}});
  expectPatches(kResponse, hello,
                {{"text ~", kHelloTextOffset, '~', true},
                 {"text DEL", kHelloTextOffset, 127, false},
                 {"text control", kHelloTextOffset + 2, 31, false},
                 {"text length", kHelloTextLengthOffset, 2, false}});
  auto longHello = sim::buildHelloAnswer(7, helloFields(std::string(15, 'x')));
  EXPECT_TRUE(valid(kResponse, longHello));
  longHello.push_back('x');
  longHello[kHelloTextLengthOffset] = 16;
  writeU16(&longHello[kLengthOffset], static_cast<std::uint16_t>(longHello.size()));
  writeU16(&longHello[kResponsePayloadLengthOffset], static_cast<std::uint16_t>(longHello.size() - 20));
  EXPECT_FALSE(valid(kResponse, longHello));
}

TEST(ValidateMessage, NeverReadsPastTheGivenLength) {
  sim::FrameFields withDebug;
  withDebug.mode = Mode::Channels;
  withDebug.debugLines = {{{}, "x"}};
  const std::vector<std::pair<std::uint8_t, std::vector<std::uint8_t>>> messages = {
      {kFrame, sim::buildFrame(withDebug)},         {kState, sim::buildState(richState())},
      {kImage, sim::buildImage({})},                {kResponse, sim::buildHelloAnswer(1)},
      {kResponse, sim::buildOpenSessionAnswer(1, 5)}, {kResponse, sim::buildAnswer({4, 1, 5})},
  };
  for (const auto& [kind, message] : messages) {
    ASSERT_TRUE(valid(kind, message));
    for (std::size_t cut = 0; cut < message.size(); ++cut) {
      // The length field still claims the full size, or is made to agree.
      std::vector<std::uint8_t> prefix(message.begin(), message.begin() + static_cast<std::ptrdiff_t>(cut));
      EXPECT_FALSE(valid(kind, prefix)) << int(kind) << " cut at " << cut;
      if (cut > kLengthOffset + 1) {
        writeU16(&prefix[kLengthOffset], static_cast<std::uint16_t>(cut));
        EXPECT_FALSE(valid(kind, prefix)) << int(kind) << " cut at " << cut;
      }
    }
  }
  EXPECT_FALSE(validateMessage(kFrame, nullptr, 0));
  EXPECT_FALSE(validateMessage(0, nullptr, 100));
  EXPECT_FALSE(valid(5, sim::buildAnswer({4, 1, 5})));
}

TEST(CheckHello, SortsAnswersIntoAcceptableUnsuccessfulAndUnsupported) {
  const auto ok = sim::buildHelloAnswer(3);
  EXPECT_EQ(checkHello(ok.data(), ok.size()), kHelloOk);

  const std::size_t fields[] = {kHelloWidthOffset,  kHelloHeightOffset, kHelloFrameMaxOffset,
                                kHelloStateLengthOffset, kHelloParam1Offset, kHelloParam2Offset,
                                kHelloParam3Offset, kHelloParam4Offset};
  for (std::size_t at : fields) {
    auto m = ok;
    m[at + 1] ^= 0x01;  // the high byte: e.g. height 170 -> 426
    EXPECT_EQ(checkHello(m.data(), m.size()), kHelloUnsupported) << at;
  }
  sim::HelloFields tallLcd;
  tallLcd.height = 240;
  const auto tall = sim::buildHelloAnswer(3, tallLcd);
  EXPECT_EQ(checkHello(tall.data(), tall.size()), kHelloUnsupported);

  const auto notAccepted = sim::buildAnswer({1, 3, 0}, kStatusNotAccepted);
  EXPECT_EQ(checkHello(notAccepted.data(), notAccepted.size()), kHelloNotSuccessful);
  auto withSession = ok;
  withSession[kSessionIdOffset] = 1;
  EXPECT_EQ(checkHello(withSession.data(), withSession.size()), kHelloNotSuccessful);
  const auto open = sim::buildOpenSessionAnswer(3, 9);
  EXPECT_EQ(checkHello(open.data(), open.size()), kHelloNotSuccessful);
  auto broken = ok;
  broken[kHelloTextOffset] = 0;
  EXPECT_EQ(checkHello(broken.data(), broken.size()), kHelloNotSuccessful);
  EXPECT_EQ(checkHello(ok.data(), 20), kHelloNotSuccessful);
}

}  // namespace
}  // namespace pelmora
