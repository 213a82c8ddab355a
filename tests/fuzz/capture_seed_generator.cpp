// Writes the capture fuzzer's seed corpus: a short recorded session as the
// simulated device sends it, the same cut off inside its last record (what
// a crash during recording leaves), and a bare header.
//   usage: capture_seed_generator <output directory>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "sim/capture.h"
#include "sim/fragmenter.h"
#include "sim/message_builders.h"

namespace {

using namespace pelmora;

void write(const std::filesystem::path& dir, const char* name, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(dir / name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

sim::Capture session() {
  sim::Capture capture;
  std::uint64_t t = 5000;
  auto add = [&](MessageKind kind, std::uint32_t transfer, const sim::Message& m, std::uint64_t step) {
    for (const Report& r : sim::fragmentMessage(static_cast<std::uint8_t>(kind), transfer, m)) {
      capture.push_back({t, r});
      t += step;
    }
  };
  add(MessageKind::Response, 1, sim::buildHelloAnswer(7), 1);
  add(MessageKind::Response, 2, sim::buildOpenSessionAnswer(8, 42), 1);
  add(MessageKind::State, 3, sim::buildState({.sessionId = 42}), 1);
  for (std::uint32_t seq = 1; seq <= 3; ++seq) {
    add(MessageKind::Frame, 3 + seq, sim::buildFrame({.sessionId = 42, .frameSeq = seq}), 16);
  }
  return capture;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::filesystem::create_directories(dir);
  const std::vector<std::uint8_t> whole = sim::serializeCapture(session());
  write(dir, "session", whole);
  write(dir, "torn-tail", {whole.begin(), whole.end() - 37});
  write(dir, "header-only", sim::serializeCapture({}));
  return 0;
}
