#pragma once
// The 64 x 64 picture the simulated synthesizer shows on its picture page: a
// little synthesizer under a sky that changes with the variant (day, sunset,
// night, dawn). Pixels come as IMAGE rows carry them.
#include <array>
#include <cstdint>

#include "core/protocol/wire_format.h"

namespace pelmora::sim {

inline constexpr std::uint32_t kPictureVariants = 4;

using PictureRow = std::array<std::uint16_t, kPictureSize>;

PictureRow pictureRow(std::uint32_t variant, std::uint8_t row);

}  // namespace pelmora::sim
