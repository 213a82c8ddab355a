#pragma once
// Writes pictures as PNG files for documentation and inspection.
#include <cstdint>
#include <string>

#include "core/render/lcd_canvas.h"

namespace pelmora {

// Writes width x height pixels 0x00RRGGBB (row-major) as an 8-bit RGB PNG,
// every pixel enlarged to a scale x scale block (nearest neighbour).
// Returns false, and leaves no promise about the file, when writing fails.
bool writePng(const std::string& path, const std::uint32_t* pixels, int width, int height, int scale = 1);

inline bool writePng(const std::string& path, const OutputFrame& frame, int scale = 1) {
  return writePng(path, frame.data(), kCanvasWidth, kCanvasHeight, scale);
}

}  // namespace pelmora
