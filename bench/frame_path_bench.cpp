// What one displayed frame costs on its way from the worker to the window,
// step by step, against the clear-and-copy floor measured in the same run:
// the hand-over as words (a copy under the mutex), the RGBA conversion that
// macOS hosts still take (word at a time, beside the byte-at-a-time loop it
// replaced), and the canvas clear that renders no longer make.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>
#include <mutex>

#include "bench/clear_and_copy.h"
#include "bridge/session_bridge.h"
#include "core/render/lcd_canvas.h"

namespace {

struct Buffers {
  pelmora::LcdCanvas canvas;
  pelmora::OutputFrame frame;
  pelmora::OutputFrame copy;
  std::uint8_t rgba[pelmora::kRgbaFrameBytes];
  std::mutex mutex;
};

Buffers& buffers() {
  static auto b = [] {
    auto made = std::make_unique<Buffers>();
    for (std::size_t i = 0; i < pelmora::kPixelCount; ++i) made->frame[i] = static_cast<std::uint32_t>(i * 2654435761u) & 0xFFFFFF;
    return made;
  }();
  return *b;
}

void clearAndCopy(benchmark::State& state) {
  Buffers& b = buffers();
  for (auto _ : state) pelmora::bench::clearAndCopy(b.canvas, b.frame, b.copy);
}

// The clear a render no longer starts with.
void canvasClear(benchmark::State& state) {
  Buffers& b = buffers();
  for (auto _ : state) {
    pelmora::clearCanvas(b.canvas);
    benchmark::DoNotOptimize(b.canvas.pixels.data());
    benchmark::ClobberMemory();
  }
}

// What takeFrame does: one copy of the frame's words under the mutex.
void takeFrameCopy(benchmark::State& state) {
  Buffers& b = buffers();
  for (auto _ : state) {
    {
      std::lock_guard lock(b.mutex);
      b.copy = b.frame;
    }
    benchmark::DoNotOptimize(b.copy.data());
    benchmark::ClobberMemory();
  }
}

void frameToRgbaWords(benchmark::State& state) {
  Buffers& b = buffers();
  for (auto _ : state) {
    pelmora::frameToRgba(b.frame, b.rgba);
    benchmark::DoNotOptimize(b.rgba);
    benchmark::ClobberMemory();
  }
}

// The conversion as it was: one byte at a time.
[[gnu::noinline]] void bytewiseToRgba(const pelmora::OutputFrame& frame, std::uint8_t* rgba) {
  for (const std::uint32_t word : frame) {
    rgba[0] = static_cast<std::uint8_t>(word >> 16);
    rgba[1] = static_cast<std::uint8_t>(word >> 8);
    rgba[2] = static_cast<std::uint8_t>(word);
    rgba[3] = 255;
    rgba += pelmora::kRgbaBytesPerPixel;
  }
}

void frameToRgbaBytes(benchmark::State& state) {
  Buffers& b = buffers();
  for (auto _ : state) {
    bytewiseToRgba(b.frame, b.rgba);
    benchmark::DoNotOptimize(b.rgba);
    benchmark::ClobberMemory();
  }
}

}  // namespace

BENCHMARK(clearAndCopy)->Name("clear_and_copy");
BENCHMARK(canvasClear)->Name("canvas_clear");
BENCHMARK(takeFrameCopy)->Name("take_frame");
BENCHMARK(frameToRgbaWords)->Name("take_pixels_rgba/word_at_a_time");
BENCHMARK(frameToRgbaBytes)->Name("take_pixels_rgba/byte_at_a_time");
BENCHMARK_MAIN();
