#pragma once
// One to three centred lines of white text on a black band, drawn straight
// into an output frame.
#include <cstddef>

#include "core/render/lcd_canvas.h"

namespace pelmora {

inline constexpr std::size_t kStatusMaxLines = 3;
inline constexpr std::size_t kStatusMaxLineLength = 36;

// The message broken into lines: "\n" starts a line, a full line continues on
// the next, bytes outside 32..126 become '?', and text beyond three lines is
// cut with "..." at the end of the third.
struct StatusLines {
  char text[kStatusMaxLines][kStatusMaxLineLength];
  std::size_t length[kStatusMaxLines];
  std::size_t count;
};
StatusLines breakStatusLines(const char* text, std::size_t length);

// overImage keeps the frame's content outside the band; otherwise the whole
// frame is cleared to black first.
void drawStatusScreen(OutputFrame& frame, const char* text, std::size_t length, bool overImage);

}  // namespace pelmora
