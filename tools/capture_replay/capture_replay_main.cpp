// pelmora_capture_replay CAPTURE: plays a capture file (see
// sim/CAPTURE_FORMAT.md) through the core and prints the digest of every
// LCD picture drawn from it, one per line in hexadecimal.
#include <cinttypes>
#include <cstdio>

#include "tools/capture_replay/capture_replay.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: pelmora_capture_replay CAPTURE\n");
    return 2;
  }
  const auto capture = pelmora::sim::loadCapture(argv[1]);
  if (!capture) {
    std::fprintf(stderr, "pelmora_capture_replay: %s is not a capture\n", argv[1]);
    return 1;
  }
  for (std::uint64_t digest : pelmora::replay::replayCaptureFrames(*capture)) {
    std::printf("%016" PRIx64 "\n", digest);
  }
  return 0;
}
