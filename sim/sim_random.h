#pragma once
// A small seeded generator (splitmix64) whose sequence is the same on every
// platform and standard library, so a simulated run repeats exactly.
#include <cstdint>

namespace pelmora::sim {

class SimRandom {
 public:
  explicit SimRandom(std::uint64_t seed = 0) : state_(seed) {}

  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::uint32_t next32() { return static_cast<std::uint32_t>(next() >> 32); }
  // 0 .. bound - 1 (bound > 0).
  std::uint32_t below(std::uint32_t bound) { return static_cast<std::uint32_t>((next() >> 32) % bound); }
  // lo .. hi inclusive.
  std::uint32_t between(std::uint32_t lo, std::uint32_t hi) { return lo + below(hi - lo + 1); }
  // True with probability p.
  bool chance(double p) { return static_cast<double>(next() >> 11) * 0x1.0p-53 < p; }

 private:
  std::uint64_t state_;
};

}  // namespace pelmora::sim
