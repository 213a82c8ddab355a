#pragma once
// The layout of a frame the LCD view turns into an image: 320 x 170 pixels
// of red, green, blue and an opaque alpha byte, rows following each other
// directly, as a session's takePixels delivers them.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "bridge/session_bridge.h"

namespace pelmora::mac {

struct FrameImageLayout {
  std::size_t width;
  std::size_t height;
  std::size_t bitsPerComponent;
  std::size_t bitsPerPixel;
  std::size_t bytesPerRow;
  // Alpha last, not premultiplied, in byte order.
  std::uint32_t bitmapInfo;
};

inline constexpr std::uint32_t kAlphaLastBitmapInfo = 3;

FrameImageLayout frameImageLayout();

// Anything but one whole frame is ignored rather than drawn.
bool isWholeFrame(std::size_t byteCount);

// A whole frame enlarged `scale` times, each pixel a square of pixels, for
// copying and saving the picture as it is shown.
std::vector<std::uint8_t> scaledPicture(const std::uint8_t* rgba, int scale);

}  // namespace pelmora::mac
