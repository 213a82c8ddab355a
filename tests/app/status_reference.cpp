// Writes the exact picture of one status screen as a binary PPM, so the
// window test can compare what the window shows pixel for pixel.
#include <cstdio>
#include <cstring>
#include <memory>

#include "core/render/status_screen.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: app_status_reference TEXT > picture.ppm\n", stderr);
    return 2;
  }
  auto frame = std::make_unique<pelmora::OutputFrame>();
  frame->fill(0);
  pelmora::drawStatusScreen(*frame, argv[1], std::strlen(argv[1]), false);
  std::printf("P6\n%d %d\n255\n", pelmora::kCanvasWidth, pelmora::kCanvasHeight);
  for (const std::uint32_t word : *frame) {
    const unsigned char rgb[3] = {static_cast<unsigned char>(word >> 16), static_cast<unsigned char>(word >> 8),
                                  static_cast<unsigned char>(word)};
    std::fwrite(rgb, 1, sizeof rgb, stdout);
  }
  return 0;
}
