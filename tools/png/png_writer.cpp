#include "tools/png/png_writer.h"

#include <png.h>

#include <cstring>
#include <vector>

namespace pelmora {

bool writePng(const std::string& path, const std::uint32_t* pixels, int width, int height, int scale) {
  if (width <= 0 || height <= 0 || scale <= 0) return false;
  const auto outWidth = static_cast<std::size_t>(width) * static_cast<std::size_t>(scale);
  const auto outHeight = static_cast<std::size_t>(height) * static_cast<std::size_t>(scale);
  constexpr std::size_t kChannels = 3;
  std::vector<std::uint8_t> rgb(outWidth * outHeight * kChannels);
  for (std::size_t y = 0; y < outHeight; ++y) {
    const std::uint32_t* source = pixels + (y / static_cast<std::size_t>(scale)) * static_cast<std::size_t>(width);
    std::uint8_t* out = rgb.data() + y * outWidth * kChannels;
    for (std::size_t x = 0; x < outWidth; ++x) {
      const std::uint32_t p = source[x / static_cast<std::size_t>(scale)];
      out[x * kChannels + 0] = static_cast<std::uint8_t>(p >> 16);
      out[x * kChannels + 1] = static_cast<std::uint8_t>(p >> 8);
      out[x * kChannels + 2] = static_cast<std::uint8_t>(p);
    }
  }
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(outWidth);
  image.height = static_cast<png_uint_32>(outHeight);
  image.format = PNG_FORMAT_RGB;
  const int ok = png_image_write_to_file(&image, path.c_str(), 0, rgb.data(),
                                         static_cast<png_int_32>(outWidth * kChannels), nullptr);
  png_image_free(&image);
  return ok != 0;
}

}  // namespace pelmora
