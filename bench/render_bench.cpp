// What one screen costs: renderLcd plus toRgb32 for every page and the volume
// screen on busy models, against a plain clear-and-copy of the same bytes,
// and the number of heap allocations made while rendering (must be zero).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench/clear_and_copy.h"
#include "allocation_counter.h"
#include "busy_models.h"
#include "core/render/lcd_canvas.h"
#include "core/render/lcd_renderer.h"

namespace {

using pelmora::bench::AllocationScope;

struct Buffers {
  pelmora::LcdCanvas canvas;
  pelmora::OutputFrame frame;
  pelmora::OutputFrame copy;
};

Buffers& buffers() {
  static auto b = std::make_unique<Buffers>();
  return *b;
}

std::vector<pelmora::gallery::Scene>& scenes() {
  static auto s = pelmora::gallery::pageScenes();
  return s;
}

void renderScene(benchmark::State& state, const pelmora::LcdModel* model) {
  Buffers& b = buffers();
  AllocationScope allocations;
  for (auto _ : state) {
    benchmark::DoNotOptimize(pelmora::renderLcd(b.canvas, *model));
    pelmora::toRgb32(b.canvas, b.frame);
    benchmark::DoNotOptimize(b.frame.data());
    benchmark::ClobberMemory();
  }
  state.counters["allocs"] = static_cast<double>(allocations.count());
}

// The least any frame can cost: clear the canvas and move one output frame.
void clearAndCopy(benchmark::State& state) {
  Buffers& b = buffers();
  for (auto _ : state) pelmora::bench::clearAndCopy(b.canvas, b.frame, b.copy);
}

// One render of every scene outside the timing loops, counted on its own so
// the answer does not depend on the benchmark library's own bookkeeping.
std::size_t allocationsPerRenderPass() {
  Buffers& b = buffers();
  AllocationScope allocations;
  for (const auto& scene : scenes()) {
    pelmora::renderLcd(b.canvas, scene.model);
    pelmora::toRgb32(b.canvas, b.frame);
  }
  return allocations.count();
}

}  // namespace

int main(int argc, char** argv) {
  Buffers& b = buffers();
  for (const auto& scene : scenes()) {
    if (!pelmora::renderLcd(b.canvas, scene.model)) {
      std::fprintf(stderr, "%s: the model is not ready to draw\n", scene.name.c_str());
      return 1;
    }
  }
  const std::size_t allocations = allocationsPerRenderPass();
  std::printf("heap allocations while rendering %zu scenes: %zu\n", scenes().size(), allocations);

  benchmark::RegisterBenchmark("clear_and_copy", clearAndCopy);
  for (const auto& scene : scenes()) {
    benchmark::RegisterBenchmark(("render/" + scene.name).c_str(), renderScene, &scene.model);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return allocations == 0 ? 0 : 1;
}
