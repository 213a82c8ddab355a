#include "sim/picture.h"

#include <cmath>
#include <cstdlib>

#include "sim/message_builders.h"

namespace pelmora::sim {

namespace {

struct Rgb {
  int r, g, b;
};

std::uint16_t rgb565(Rgb c) {
  return static_cast<std::uint16_t>(((c.r >> 3) << 11) | ((c.g >> 2) << 5) | (c.b >> 3));
}

Rgb mix(Rgb a, Rgb b, int num, int den) {
  return {a.r + (b.r - a.r) * num / den, a.g + (b.g - a.g) * num / den, a.b + (b.b - a.b) * num / den};
}

struct Sky {
  Rgb top, bottom, light, hills;
  bool night;
};

constexpr std::array<Sky, kPictureVariants> kSkies = {{
    {{40, 110, 230}, {170, 215, 255}, {255, 240, 80}, {60, 160, 60}, false},
    {{90, 40, 120}, {250, 140, 60}, {255, 120, 40}, {70, 90, 50}, false},
    {{0, 0, 30}, {20, 30, 90}, {230, 230, 200}, {20, 50, 30}, true},
    {{120, 170, 230}, {250, 180, 190}, {255, 210, 150}, {80, 150, 90}, false},
}};

constexpr int kHorizon = 40;
constexpr int kBodyTop = 44;
constexpr int kKeysTop = 51;
constexpr int kKeysBottom = 61;
constexpr int kLeft = 6;
constexpr int kRight = 57;

bool inCircle(int x, int y, int cx, int cy, int r) { return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r; }

bool isStar(int x, int y) {
  const unsigned h = static_cast<unsigned>(x) * 73856093u ^ static_cast<unsigned>(y) * 19349663u;
  return h % 53 == 0;
}

// An eighth note: an oval head and a stem with a flag.
bool isNoteSymbol(int x, int y) {
  const int dx = x - 12, dy = y - 15;
  if (dx * dx * 4 + dy * dy * 9 <= 36) return true;
  if (x == 14 && y >= 5 && y <= 14) return true;
  return y >= 5 && y <= 8 && x >= 15 && x <= 15 + (y - 5);
}

bool isBlackKey(int x) {
  const int key = (x - kLeft) / 4;
  const int within = (x - kLeft) % 4;
  const int degree = key % 7;  // C D E F G A B
  const bool hasSharpAfter = degree != 2 && degree != 6;
  return within == 3 ? hasSharpAfter : (within == 0 && key > 0 && (key - 1) % 7 != 2 && (key - 1) % 7 != 6);
}

Rgb pixel(const Sky& sky, std::uint32_t variant, int x, int y) {
  const Rgb black{0, 0, 0};
  if (y >= kBodyTop && y <= kKeysBottom && x >= kLeft && x <= kRight) {
    if (y < kKeysTop) {
      if (x >= 36 && x <= 52 && y >= 45 && y <= 49) return {40, 220, 230};
      for (int knob = 0; knob < 3; ++knob) {
        if (inCircle(x, y, 12 + 8 * knob, 47, 2)) return {230, 230, 230};
      }
      return {60, 60, 70};
    }
    if (y < kKeysTop + 6 && isBlackKey(x)) return black;
    return (x - kLeft) % 4 == 3 ? Rgb{150, 150, 150} : Rgb{245, 245, 245};
  }
  if (y > kKeysBottom) return {90, 60, 40};
  const int hill = kHorizon - 4 + static_cast<int>(std::lround(3.0 * std::sin(x / 7.0 + variant)));
  if (y >= hill) return mix(sky.hills, black, y - hill, 40);
  if (inCircle(x, y, 46 - static_cast<int>(variant) * 4, 14 + static_cast<int>(variant % 2) * 6, 7)) {
    return sky.light;
  }
  if (isNoteSymbol(x, y)) return sky.night ? Rgb{255, 255, 120} : Rgb{255, 255, 255};
  if (sky.night && isStar(x, y)) return {255, 255, 255};
  return mix(sky.top, sky.bottom, y, kHorizon);
}

}  // namespace

PictureRow pictureRow(std::uint32_t variant, std::uint8_t row) {
  const Sky& sky = kSkies[variant % kPictureVariants];
  PictureRow out{};
  for (int x = 0; x < static_cast<int>(kPictureSize); ++x) {
    out[static_cast<std::size_t>(x)] = imagePixel(rgb565(pixel(sky, variant % kPictureVariants, x, row)));
  }
  return out;
}

}  // namespace pelmora::sim
