#pragma once
// Device paths on macOS: a device is named by its IOKit registry entry ID,
// written in decimal. Discovery writes them, the transport reads them back.
#include <cstdint>
#include <string>

namespace pelmora {

std::u16string registryEntryPath(std::uint64_t entryId);
// The ID a path names; 0, which no registry entry has, when the path is not
// a decimal number that fits 64 bits.
std::uint64_t registryEntryIdFromPath(const std::u16string& path);

}  // namespace pelmora
