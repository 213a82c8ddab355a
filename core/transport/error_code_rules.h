#pragma once
// What a platform error code means, for each system the programs run on.
// Each platform's isDeviceGoneCode and openFailureText answer from its own
// table here; a trace recorded on one system and replayed on another needs
// the recording system's answers, so all three live in portable code.
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

bool isDeviceGoneCodeOn(HostSystem system, std::uint32_t code);
// Only Linux makes an open wait for a transfer this process abandoned:
// Windows' close waits for its cancelled transfer, IOKit's ends with it.
bool isHeldByOwnTransferCodeOn(HostSystem system, std::uint32_t code);
// "Device Busy", "Access Denied" or "Open Failed".
const char* openFailureTextOn(HostSystem system, std::uint32_t code);

// The system whose codes the running program interprets: its own, unless a
// replay of a trace from another system chose that one before any worker
// started.
HostSystem interpretedCodeSystem(HostSystem own);
void interpretCodesOf(HostSystem system);

}  // namespace pelmora
