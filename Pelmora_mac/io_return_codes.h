#pragma once
// IOKit's return codes as the unsigned numbers the core works with ("Error
// 3758097088"). IOReturn is a signed int, so every comparison with a stored
// code goes through ioReturnCode.
#include <IOKit/IOReturn.h>

#include <cstdint>

namespace pelmora {

constexpr std::uint32_t ioReturnCode(IOReturn result) { return static_cast<std::uint32_t>(result); }

inline constexpr std::uint32_t kNoDeviceCode = ioReturnCode(kIOReturnNoDevice);
inline constexpr std::uint32_t kNotPrivilegedCode = ioReturnCode(kIOReturnNotPrivileged);
inline constexpr std::uint32_t kBadArgumentCode = ioReturnCode(kIOReturnBadArgument);
inline constexpr std::uint32_t kExclusiveAccessCode = ioReturnCode(kIOReturnExclusiveAccess);
inline constexpr std::uint32_t kBadMessageIdCode = ioReturnCode(kIOReturnBadMessageID);
inline constexpr std::uint32_t kNotPermittedCode = ioReturnCode(kIOReturnNotPermitted);
inline constexpr std::uint32_t kOverrunCode = ioReturnCode(kIOReturnOverrun);

// The values the status screens show; a header with other numbers would
// change what users read and what the session decides.
static_assert(sizeof(IOReturn) == 4 && static_cast<IOReturn>(-1) < 0, "IOReturn is a signed 32-bit int");
static_assert(kNoDeviceCode == 0xE00002C0);
static_assert(kNotPrivilegedCode == 0xE00002C1);
static_assert(kBadArgumentCode == 0xE00002C2);
static_assert(kExclusiveAccessCode == 0xE00002C5);
static_assert(kBadMessageIdCode == 0xE00002C6);
static_assert(kNotPermittedCode == 0xE00002E2);
static_assert(kOverrunCode == 0xE00002E8);

}  // namespace pelmora
