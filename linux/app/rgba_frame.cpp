#include "linux/app/rgba_frame.h"

namespace pelmora::app {
namespace {
constexpr std::uint8_t kOpaque = 0xFF;
}

void toRgba(const OutputFrame& frame, RgbaFrame& out) {
  std::size_t o = 0;
  for (const std::uint32_t word : frame) {
    out[o++] = static_cast<std::uint8_t>(word >> 16);
    out[o++] = static_cast<std::uint8_t>(word >> 8);
    out[o++] = static_cast<std::uint8_t>(word);
    out[o++] = kOpaque;
  }
}

bool fromRgba(std::span<const std::uint8_t> bytes, OutputFrame& out) {
  if (bytes.size() != kRgbaFrameBytes) return false;
  for (std::size_t i = 0; i < kPixelCount; ++i) {
    const std::uint8_t* p = bytes.data() + i * kRgbaBytesPerPixel;
    out[i] = (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
  }
  return true;
}

}  // namespace pelmora::app
