#include "Pelmora_mac/ui/frame_image.h"

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

}  // namespace pelmora::mac
