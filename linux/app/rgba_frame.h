#pragma once
// The LCD picture as the session bridge hands it out (R, G, B, 255 per
// pixel), and its way back into the 0x00RRGGBB words that cairo's RGB24
// surfaces hold.
#include <array>
#include <cstdint>
#include <span>

#include "bridge/session_bridge.h"

namespace pelmora::app {

using RgbaFrame = std::array<std::uint8_t, kRgbaFrameBytes>;

// False (and `out` untouched) unless exactly one frame's bytes are given.
bool fromRgba(std::span<const std::uint8_t> bytes, OutputFrame& out);

}  // namespace pelmora::app
