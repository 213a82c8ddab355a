#pragma once
// What a platform error code means, for each system the programs run on.
// A transport names the system of its codes (IHidTransport::codeSystem);
// a trace recorded on one system and replayed on another needs the
// recording system's answers, so all three tables live in portable code.
#include <cstdint>

namespace pelmora {

enum class HostSystem : std::uint8_t { linuxOs = 1, windowsOs = 2, macOs = 3 };

// Codes of the Windows and IOKit rules, by their system names' meaning.
inline constexpr std::uint32_t kWindowsAccessDenied = 5;
inline constexpr std::uint32_t kWindowsInvalidHandle = 6;
inline constexpr std::uint32_t kWindowsSharingViolation = 32;
inline constexpr std::uint32_t kWindowsDeviceNotConnected = 1167;
inline constexpr std::uint32_t kIoReturnNoDevice = 0xE00002C0;
inline constexpr std::uint32_t kIoReturnNotPrivileged = 0xE00002C1;
inline constexpr std::uint32_t kIoReturnBadArgument = 0xE00002C2;
inline constexpr std::uint32_t kIoReturnExclusiveAccess = 0xE00002C5;
inline constexpr std::uint32_t kIoReturnNotPermitted = 0xE00002E2;

// Codes that mean the device has gone away.
bool isDeviceGoneCodeOn(HostSystem system, std::uint32_t code);
// An open refused only because a transfer this process gave up on still
// holds the device; the system ends that transfer within its own time-out,
// so the open is worth repeating until then. Only Linux has it: Windows'
// close waits for its cancelled transfer, IOKit's ends with it.
bool isHeldByOwnTransferCodeOn(HostSystem system, std::uint32_t code);
// "Device Busy", "Access Denied" or "Open Failed".
const char* openFailureTextOn(HostSystem system, std::uint32_t code);

}  // namespace pelmora
