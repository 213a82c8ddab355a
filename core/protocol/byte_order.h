#pragma once
// Wire integers are little-endian and may start at any offset: always read
// and write them byte by byte, never through an aligned load.
#include <cstddef>
#include <cstdint>

namespace pelmora {

inline std::uint16_t readU16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t readU32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline void writeU16(std::uint8_t* p, std::uint16_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}

inline void writeU32(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
  p[2] = static_cast<std::uint8_t>(v >> 16);
  p[3] = static_cast<std::uint8_t>(v >> 24);
}

// Device sequence numbers wrap: b is newer than a when (b - a), taken as a
// signed 32-bit value, is positive.
inline std::int32_t sequenceDelta(std::uint32_t newer, std::uint32_t older) {
  return static_cast<std::int32_t>(newer - older);
}

}  // namespace pelmora
