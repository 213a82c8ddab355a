#pragma once
// The LCD picture as byte-ordered RGBA, the layout image libraries and the
// clipboard take.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/render/lcd_canvas.h"

namespace pelmora::app {

inline constexpr std::size_t kRgbaBytesPerPixel = 4;
inline constexpr std::size_t kRgbaStride = static_cast<std::size_t>(kCanvasWidth) * kRgbaBytesPerPixel;
inline constexpr std::size_t kRgbaFrameBytes = kPixelCount * kRgbaBytesPerPixel;

using RgbaFrame = std::array<std::uint8_t, kRgbaFrameBytes>;

// Red, green, blue from 0x00RRGGBB, then an opaque alpha; the top byte of
// each word is ignored.
void toRgba(const OutputFrame& frame, RgbaFrame& out);

// The reverse; false (and `out` untouched) unless exactly one frame's bytes
// are given.
bool fromRgba(std::span<const std::uint8_t> bytes, OutputFrame& out);

}  // namespace pelmora::app
