#pragma once
// Switches that make a simulated synthesizer misbehave. Each can be changed
// at any moment, also while a session runs; the device and its transport
// read them at the next operation. Counts say how many times a fault strikes
// before it switches itself off; kAlways keeps it on.
#include <array>
#include <cerrno>
#include <cstdint>
#include <optional>

#include "core/protocol/wire_format.h"
#include "core/transport/error_code_rules.h"

namespace pelmora::sim {

inline constexpr int kAlways = -1;

// Platform error codes the simulated transport reports, and the system
// whose table (device gone, "Device Busy", "Access Denied") it answers them
// by: those of the platform layer linked beside the simulator, so that a
// session reads the same codes from the simulator as from that layer's own
// transport. Tests name them through kPlatformCodes rather than by a
// platform's own names. The system compiled for decides, unless the build
// links another system's layer: PELMORA_SIM_CODES_MACOS for the macOS layer
// built on Linux over the simulated IOKit.
#if defined(PELMORA_SIM_CODES_MACOS) || defined(__APPLE__)
inline constexpr HostSystem kSimCodeSystem = HostSystem::macOs;
inline constexpr std::uint32_t kSimCodeBusy = kIoReturnExclusiveAccess;       // another client seized it
inline constexpr std::uint32_t kSimCodeAccessDenied = kIoReturnNotPermitted;  // input monitoring not granted
inline constexpr std::uint32_t kSimCodeGone = kIoReturnNoDevice;
inline constexpr std::uint32_t kSimCodeNotFound = kIoReturnNoDevice;          // no registry entry for the path
inline constexpr std::uint32_t kSimCodeIo = 0xE00002BC;                       // kIOReturnError
inline constexpr std::uint32_t kSimCodeFeatureFailed = 0xE0005000;            // USB host family: pipe stalled
inline constexpr std::uint32_t kSimCodeFeatureBusy = 0xE00002D5;              // kIOReturnBusy
inline constexpr std::uint32_t kSimCodeHeldByOwnTransfer = 0;  // IOKit's close ends the transfer
#elif defined(_WIN32)
inline constexpr HostSystem kSimCodeSystem = HostSystem::windowsOs;
inline constexpr std::uint32_t kSimCodeBusy = 32;             // ERROR_SHARING_VIOLATION
inline constexpr std::uint32_t kSimCodeAccessDenied = 5;      // ERROR_ACCESS_DENIED
inline constexpr std::uint32_t kSimCodeGone = 1167;           // ERROR_DEVICE_NOT_CONNECTED
inline constexpr std::uint32_t kSimCodeNotFound = 2;          // ERROR_FILE_NOT_FOUND
inline constexpr std::uint32_t kSimCodeIo = 1117;             // ERROR_IO_DEVICE
inline constexpr std::uint32_t kSimCodeFeatureFailed = 31;    // ERROR_GEN_FAILURE
inline constexpr std::uint32_t kSimCodeFeatureBusy = 170;     // ERROR_BUSY
inline constexpr std::uint32_t kSimCodeHeldByOwnTransfer = 0; // no open ever waits for a transfer
#else
inline constexpr HostSystem kSimCodeSystem = HostSystem::linuxOs;
inline constexpr std::uint32_t kSimCodeBusy = EBUSY;
inline constexpr std::uint32_t kSimCodeAccessDenied = EACCES;
inline constexpr std::uint32_t kSimCodeGone = ENODEV;
inline constexpr std::uint32_t kSimCodeNotFound = ENOENT;
inline constexpr std::uint32_t kSimCodeIo = EPROTO;           // EIO may mean gone
inline constexpr std::uint32_t kSimCodeFeatureFailed = EPIPE;
inline constexpr std::uint32_t kSimCodeFeatureBusy = EBUSY;
inline constexpr std::uint32_t kSimCodeHeldByOwnTransfer = EALREADY;
#endif

struct SimErrorCodes {
  std::uint32_t busy = kSimCodeBusy;                    // second open of a held device
  std::uint32_t accessDenied = kSimCodeAccessDenied;
  std::uint32_t gone = kSimCodeGone;                    // device unplugged
  std::uint32_t notFound = kSimCodeNotFound;            // open of a path nobody has
  std::uint32_t io = kSimCodeIo;                        // an ordinary read or poll failure
  std::uint32_t featureFailed = kSimCodeFeatureFailed;  // a feature transfer the device stalled
  std::uint32_t featureBusy = kSimCodeFeatureBusy;      // a second transfer while one is in flight
  std::uint32_t heldByOwnTransfer = kSimCodeHeldByOwnTransfer;  // an open held up by a transfer given up on
};

// The defaults, for tests that set a fault's code by what it means.
inline constexpr SimErrorCodes kPlatformCodes{};

// A fault that fires a limited number of times (or always).
struct CountedFault {
  int remaining = 0;
  bool armed() const { return remaining != 0; }
  // True when the fault fires now; uses up one count.
  bool fire() {
    if (remaining == 0) return false;
    if (remaining > 0) --remaining;
    return true;
  }
};

// How the answer to one command goes wrong.
enum class AnswerFault : std::uint8_t {
  None,
  WrongSessionId,    // the echoed argument is off by one
  WrongRequestId,    // the echoed requestId is off by one
  WrongCommand,      // another command code is echoed
  Duplicate,         // the answer is sent twice, as two transfers
  Version21,         // right magic, protocol version 2.1
  Silent,            // no answer at all
};

// Faults of the device's own behaviour, per command (index = code - 1).
struct DeviceFaults {
  struct PerCommand {
    std::uint8_t status = kStatusOk;  // the status to answer with while `statusCount` lasts
    CountedFault statusCount;
    AnswerFault answer = AnswerFault::None;
    CountedFault answerCount;
    // Answers to this command go out this many milliseconds late.
    std::uint32_t answerDelayMs = 0;
    // Once this command has been received, the device answers nothing more
    // (and stops streaming) until `silenced` is cleared.
    bool silenceAfter = false;
  };
  std::array<PerCommand, kLastCommand> commands{};
  bool silenced = false;

  // The session stays open and commands are answered, but no FRAME, STATE or
  // IMAGE is sent.
  bool streamPaused = false;
  // FRAMEs name a STATE that is never sent.
  bool orphanFrames = false;
  // One input report with a report ID other than 1 goes out next.
  CountedFault foreignReport;

  PerCommand& command(Command c) { return commands[static_cast<std::size_t>(c) - 1]; }
  // Answer `status` to the next `count` commands of kind `c`.
  void answerStatus(Command c, std::uint8_t status, int count = 1) {
    command(c).status = status;
    command(c).statusCount.remaining = count;
  }
  void corruptAnswer(Command c, AnswerFault fault, int count = 1) {
    command(c).answer = fault;
    command(c).answerCount.remaining = count;
  }
};

// Faults of the fragments on the wire. Rates are per report, drawn from the
// device's seeded generator, so a run repeats exactly. `kinds` is a bit set
// of message kinds (bit k-1 for kind k) the faults apply to.
struct FragmentFaults {
  double dropRate = 0.0;
  double repeatRate = 0.0;
  double reorderRate = 0.0;   // swapped with the report after it
  double corruptRate = 0.0;   // one data byte flipped
  std::uint8_t kinds = 0x0F;
  bool any() const { return dropRate > 0 || repeatRate > 0 || reorderRate > 0 || corruptRate > 0; }
};

// Faults of the link as the host's transport sees it.
struct LinkFaults {
  // open fails with this code while `openFailures` lasts.
  std::uint32_t openFailureCode = 0;
  CountedFault openFailures;
  // sendFeature returns false with `featureFailureCode`.
  std::uint32_t featureFailureCode = kSimCodeFeatureFailed;
  CountedFault featureRefusals;
  // Feature transfers never complete by themselves while set; close can
  // still cancel them (use closeRefusals for a close that keeps refusing).
  bool featureStuck = false;
  // Milliseconds a feature transfer takes; 0 completes it at once.
  std::uint32_t featureDelayMs = 0;
  // poll / readReport fail with these codes while their counts last.
  std::uint32_t pollFailureCode = kSimCodeIo;
  CountedFault pollFailures;
  std::uint32_t readFailureCode = kSimCodeIo;
  CountedFault readFailures;
  // close refuses this many calls even when nothing is outstanding.
  CountedFault closeRefusals;
};

}  // namespace pelmora::sim
