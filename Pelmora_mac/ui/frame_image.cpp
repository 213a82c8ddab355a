#include "Pelmora_mac/ui/frame_image.h"

#include <algorithm>

namespace pelmora::mac {
namespace {

constexpr std::size_t kBitsPerByte = 8;

}  // namespace

FrameImageLayout frameImageLayout() {
  return {static_cast<std::size_t>(kCanvasWidth),
          static_cast<std::size_t>(kCanvasHeight),
          kBitsPerByte,
          kRgbaBytesPerPixel * kBitsPerByte,
          kRgbaRowBytes,
          kAlphaLastBitmapInfo};
}

bool isWholeFrame(std::size_t byteCount) { return byteCount == kRgbaFrameBytes; }

std::vector<std::uint8_t> scaledPicture(const std::uint8_t* rgba, int scale) {
  const auto factor = static_cast<std::size_t>(std::max(scale, 1));
  const std::size_t rowBytes = kRgbaRowBytes * factor;
  std::vector<std::uint8_t> picture(kRgbaFrameBytes * factor * factor);
  for (std::size_t y = 0; y < static_cast<std::size_t>(kCanvasHeight); ++y) {
    std::uint8_t* row = picture.data() + y * factor * rowBytes;
    for (std::size_t x = 0; x < static_cast<std::size_t>(kCanvasWidth); ++x) {
      const std::uint8_t* pixel = rgba + y * kRgbaRowBytes + x * kRgbaBytesPerPixel;
      for (std::size_t i = 0; i < factor; ++i) {
        std::copy_n(pixel, kRgbaBytesPerPixel, row + (x * factor + i) * kRgbaBytesPerPixel);
      }
    }
    for (std::size_t i = 1; i < factor; ++i) std::copy_n(row, rowBytes, row + i * rowBytes);
  }
  return picture;
}

}  // namespace pelmora::mac
