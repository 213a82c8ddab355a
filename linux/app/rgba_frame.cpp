#include "linux/app/rgba_frame.h"

namespace pelmora::app {

bool fromRgba(std::span<const std::uint8_t> bytes, OutputFrame& out) {
  if (bytes.size() != kRgbaFrameBytes) return false;
  for (std::size_t i = 0; i < kPixelCount; ++i) {
    const std::uint8_t* p = bytes.data() + i * kRgbaBytesPerPixel;
    out[i] = (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
  }
  return true;
}

}  // namespace pelmora::app
