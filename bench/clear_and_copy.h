#pragma once
// The least any frame can cost: clear the canvas and move one output frame.
// Every benchmark measures it in its own run and reads its figures against
// it. The empty asm statements keep the compiler from dropping either step.
#include <cstring>

#include "core/render/lcd_canvas.h"

namespace pelmora::bench {

inline void clearAndCopy(LcdCanvas& canvas, const OutputFrame& from, OutputFrame& to) {
  std::memset(canvas.pixels.data(), 0, sizeof canvas.pixels);
  asm volatile("" : : "r"(canvas.pixels.data()) : "memory");
  std::memcpy(to.data(), from.data(), sizeof from);
  asm volatile("" : : "r"(to.data()) : "memory");
}

}  // namespace pelmora::bench
