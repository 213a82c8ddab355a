#pragma once
// Models and pixel probes shared by the composition and page tests. Models are
// filled directly (not through LcdModel::apply), so these tests exercise the
// renderer alone.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/protocol/lcd_model.h"
#include "core/render/lcd_canvas.h"
#include "core/render/lcd_renderer.h"
#include "sim/message_builders.h"

namespace pelmora::testing {

// Theme colours whose 12-bit forms all differ.
inline constexpr std::uint16_t kForeground = 0xFFFF;
inline constexpr std::uint16_t kHeader = 0xF800;
inline constexpr std::uint16_t kPanel = 0x07E0;
inline constexpr std::uint16_t kTrace = 0x001F;
inline constexpr std::uint16_t kGuide = 0xF81F;
inline constexpr std::uint16_t kBarBase = 0x8410;
inline constexpr std::uint16_t kUnlitBar = 0x4208;

// Lit side-bar colour of row y (32..83): a different colour for every row.
inline std::uint16_t litBarColour(int y) {
  const int r = y - 32;
  return static_cast<std::uint16_t>(0x8000 | ((r / 16) << 7) | ((r % 16) << 1));
}

inline sim::StateFields testState() {
  sim::StateFields s;
  s.theme = {kForeground, kHeader, kPanel, kTrace, kGuide};
  s.barBaseColour = kBarBase;
  for (int r = 0; r < 52; ++r) {
    s.litBarColours[static_cast<std::size_t>(r)] = litBarColour(32 + r);
    s.unlitBarColours[static_cast<std::size_t>(r)] = kUnlitBar;
  }
  return s;
}

inline LcdModel makeModel(const sim::StateFields& state, const sim::FrameFields& frame) {
  LcdModel model;
  model.reset(state.sessionId);
  model.stateMessage = sim::buildState(state);
  model.frameMessage = sim::buildFrame(frame);
  return model;
}

struct Rendered {
  LcdCanvas canvas;
  bool drawn = false;

  std::uint16_t at(int x, int y) const { return canvas.pixels[static_cast<std::size_t>(y) * kCanvasWidth + x]; }
  // The top-left pixel of a half-resolution unit.
  std::uint16_t half(int x, int y) const { return at(2 * x, 2 * y); }
};

inline std::uint16_t c444(std::uint16_t rgb565) { return toRgb444(rgb565); }

inline Rendered render(const LcdModel& model) {
  Rendered r;
  r.drawn = renderLcd(r.canvas, model);
  return r;
}

// True when the rectangle (full-resolution pixels, inclusive) is the same on
// both canvases.
inline bool sameRegion(const LcdCanvas& a, const LcdCanvas& b, int x0, int y0, int x1, int y1) {
  for (int y = y0; y <= y1; ++y) {
    for (int x = x0; x <= x1; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * kCanvasWidth + x;
      if (a.pixels[i] != b.pixels[i]) return false;
    }
  }
  return true;
}

inline bool regionIs(const LcdCanvas& a, int x0, int y0, int x1, int y1, std::uint16_t rgb565) {
  for (int y = y0; y <= y1; ++y) {
    for (int x = x0; x <= x1; ++x) {
      if (a.pixels[static_cast<std::size_t>(y) * kCanvasWidth + x] != toRgb444(rgb565)) return false;
    }
  }
  return true;
}

// A canvas carrying the test theme, cleared to `fill`, for drawing references.
inline LcdCanvas themedCanvas(std::uint16_t fill) {
  LcdCanvas c;
  c.foreground = kForeground;
  c.header = kHeader;
  c.panel = kPanel;
  c.trace = kTrace;
  c.guide = kGuide;
  c.pixels.fill(toRgb444(fill));
  return c;
}

}  // namespace pelmora::testing
