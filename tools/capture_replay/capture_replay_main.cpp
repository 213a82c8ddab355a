// pelmora_capture_replay [--timeline] [--png N[,N...] DIR] FILE
//
// A capture (version 1, see sim/CAPTURE_FORMAT.md) is played through the
// core and the digest of every LCD picture drawn from it is printed, one per
// line in hexadecimal.
//
// A trace (version 2 or 3) is replayed through the engine (trace/trace_replay.h): the
// status texts, frame hashes and statistics are printed, and how the replay
// ended; --timeline prints every call first, --png writes the chosen frames
// (numbered from 0 as in the list) into DIR. Exit status 3 when the replay
// stopped at an effect the trace did not record.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>

#include "tools/capture_replay/capture_replay.h"
#include "trace/trace_replay.h"
#if defined(PELMORA_HAS_PNG)
#include "tools/png/png_writer.h"
#endif

namespace {

constexpr int kUsage = 2;
constexpr int kRefused = 1;
constexpr int kDiverged = 3;
constexpr const char* kUsageText = "usage: pelmora_capture_replay [--timeline] [--png N[,N...] DIR] FILE\n";

struct Arguments {
  bool timeline = false;
  std::set<std::size_t> frames;
  std::string pngDir;
  std::string file;
};

bool parseFrames(const std::string& list, std::set<std::size_t>& frames) {
  std::size_t start = 0;
  while (start <= list.size()) {
    const std::size_t comma = std::min(list.find(',', start), list.size());
    const std::string item = list.substr(start, comma - start);
    if (item.empty() || item.find_first_not_of("0123456789") != std::string::npos) return false;
    frames.insert(std::strtoull(item.c_str(), nullptr, 10));
    start = comma + 1;
  }
  return true;
}

bool parseArguments(int argc, char** argv, Arguments& args) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--timeline") {
      args.timeline = true;
    } else if (arg == "--png" && i + 2 < argc) {
      if (!parseFrames(argv[i + 1], args.frames)) return false;
      args.pngDir = argv[i + 2];
      i += 2;
    } else if (args.file.empty() && !arg.starts_with("--")) {
      args.file = arg;
    } else {
      return false;
    }
  }
  return !args.file.empty();
}

void writeFrame(const Arguments& args, std::size_t index, const pelmora::OutputFrame& frame) {
  if (!args.frames.contains(index)) return;
  const std::string path = args.pngDir + "/frame_" + std::to_string(index) + ".png";
#if defined(PELMORA_HAS_PNG)
  if (pelmora::writePng(path, frame)) return;
#else
  (void)frame;
#endif
  std::fprintf(stderr, "pelmora_capture_replay: cannot write %s\n", path.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  Arguments args;
  if (!parseArguments(argc, argv, args)) {
    std::fputs(kUsageText, stderr);
    return kUsage;
  }
  const pelmora::trace::Recording recording = pelmora::trace::readRecordingFile(args.file);
  if (recording.kind == pelmora::trace::RecordingKind::refused) {
    std::fprintf(stderr, "pelmora_capture_replay: %s\n", recording.error.c_str());
    return kRefused;
  }
  if (const std::string cut = pelmora::trace::describeCut(recording); !cut.empty()) {
    std::fprintf(stderr, "pelmora_capture_replay: %s\n", cut.c_str());
  }
  if (recording.kind == pelmora::trace::RecordingKind::capture) {
    for (std::uint64_t digest : pelmora::replay::replayCaptureFrames(recording.capture)) {
      std::printf("%016" PRIx64 "\n", digest);
    }
    return 0;
  }
  std::printf("%s", pelmora::trace::describeTraceOrigin(recording).c_str());
  pelmora::trace::ReplayOptions options;
  if (args.timeline) options.timeline = [](const std::string& line) { std::printf("%s\n", line.c_str()); };
  if (!args.frames.empty()) {
    options.onFrame = [&args](std::size_t index, const pelmora::OutputFrame& frame) { writeFrame(args, index, frame); };
  }
  const pelmora::trace::ReplayResult result = pelmora::trace::replayTrace(recording, options);
  std::fputs(pelmora::trace::describeReplay(result).c_str(), stdout);
  return result.diverged ? kDiverged : 0;
}
