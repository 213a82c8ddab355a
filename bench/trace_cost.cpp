// What recording a trace costs the worker: the same simulated session on the
// steady clock, once plain and once recorded, and the session loop's longest
// gap and the frame rate of each. Run by hand:
//   trace_cost [SECONDS] [TRACE_FILE]
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "sim/sim_bus.h"
#include "sim/virtual_clock.h"
#include "trace/trace_recording.h"

namespace {

using namespace pelmora;

struct Run {
  WorkerStatistics statistics;
  double seconds = 0;
};

Run runSession(unsigned seconds, trace::TraceWriter* writer) {
  sim::RealClock clock;
  sim::SimBus bus(clock);
  bus.addDevice(u"bench", u"BENCH1", {.seed = 11, .modeCycleMs = 500});
  std::optional<trace::TraceRecording> recording;
  ConnectionWorker worker({}, [](const OutputFrame&) {}, {}, {}, bus.hooks(clock), {}, {});
  if (writer) worker.setRecorder(&recording.emplace(*writer));
  const std::uint64_t start = clock.now();
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    clock.requestStop();
  });
  worker.run();
  stopper.join();
  return {worker.statistics(), static_cast<double>(clock.now() - start) / 1000.0};
}

void print(const char* name, const Run& run) {
  std::printf("%-10s frames/s %6.1f  maxLoopGapMs %3llu  maxReadBurstMs %3llu\n", name,
              static_cast<double>(run.statistics.frames) / run.seconds,
              static_cast<unsigned long long>(run.statistics.maxLoopGapMs),
              static_cast<unsigned long long>(run.statistics.maxReadBurstMs));
}

}  // namespace

int main(int argc, char** argv) {
  const unsigned seconds = argc > 1 ? static_cast<unsigned>(std::atoi(argv[1])) : 10;
  const std::string path = argc > 2 ? argv[2] : "/tmp/pelmora_trace_cost.trace";
  print("plain", runSession(seconds, nullptr));
  std::string error;
  auto writer = trace::TraceWriter::create(path, trace::ownHeader(), error);
  if (!writer) {
    std::fprintf(stderr, "trace_cost: %s\n", error.c_str());
    return 1;
  }
  const Run recorded = runSession(seconds, writer.get());
  writer->finish();
  print("recorded", recorded);
  std::printf("lost calls %llu\n", static_cast<unsigned long long>(writer->lost()));
  return 0;
}
