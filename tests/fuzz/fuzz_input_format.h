#pragma once
// How the report-stream fuzzer reads its input, shared with the program that
// writes its seed corpus. The input is a sequence of records:
//   one control byte, then (unless it repeats the previous report) 64 bytes
//   of input report.
// Control byte kReset resets the model and both assemblers. Otherwise its low
// nibble picks a clock step from kTimeSteps (chosen around the reassembly
// limits) and the flag bits below say how the report is delivered.
#include <array>
#include <cstdint>

namespace pelmora::fuzz {

inline constexpr std::uint8_t kReset = 0xFF;
inline constexpr std::uint8_t kStepMask = 0x0F;
inline constexpr std::uint8_t kToResponseAssembler = 0x10;
inline constexpr std::uint8_t kShortReport = 0x20;      // handed over as 63 bytes
inline constexpr std::uint8_t kRepeatPrevious = 0x40;   // no report bytes follow

inline constexpr std::array<std::uint64_t, 16> kTimeSteps = {0,   1,   2,   5,   10,  50,   100,  249,
                                                             250, 251, 499, 500, 501, 999, 1000, 3000};

// The session the fuzzed stream belongs to, and the HELLO the response side
// waits for.
inline constexpr std::uint32_t kSession = 1;
inline constexpr std::uint32_t kFirstRequestId = 1;

}  // namespace pelmora::fuzz
