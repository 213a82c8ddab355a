// Writes the report-stream fuzzer's seed corpus: ordinary sessions as the
// simulated device sends them, plus the awkward deliveries (reordered,
// repeated, late) that the assemblers must survive.
//   usage: seed_corpus_generator <output directory>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz_input_format.h"
#include "sim/fragmenter.h"
#include "sim/message_builders.h"

namespace pelmora::fuzz {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kind(MessageKind k) { return static_cast<std::uint8_t>(k); }

// Builds one fuzzer input record by record.
class Script {
 public:
  void report(const Report& r, std::uint8_t control = 1) {
    bytes_.push_back(control);
    bytes_.insert(bytes_.end(), r.begin(), r.end());
  }
  void message(MessageKind k, std::uint32_t transfer, const Bytes& m, std::uint8_t control = 1) {
    for (const Report& r : sim::fragmentMessage(kind(k), transfer, m)) report(r, control);
  }
  void reversed(MessageKind k, std::uint32_t transfer, const Bytes& m) {
    const auto reports = sim::fragmentMessage(kind(k), transfer, m);
    for (auto it = reports.rbegin(); it != reports.rend(); ++it) report(*it);
  }
  void control(std::uint8_t c) { bytes_.push_back(c); }
  const Bytes& bytes() const { return bytes_; }

 private:
  Bytes bytes_;
};

sim::FrameFields frameFor(Mode mode, std::uint32_t frameSeq) {
  sim::FrameFields f;
  f.sessionId = kSession;
  f.mode = mode;
  f.frameSeq = frameSeq;
  f.imageId = 3;
  f.historySeq = frameSeq;
  f.flags = kFlagHistorySample;
  if (mode == Mode::Channels) f.debugLines = {{{1, 2}, "debug"}};
  return f;
}

Bytes session() {
  Script s;
  sim::StateFields state;
  state.sessionId = kSession;
  state.title1 = "\x83\x65\x83\x58\x83\x67";
  s.message(MessageKind::State, 1, sim::buildState(state));
  for (std::uint32_t i = 0; i < kModeCount; ++i) {
    s.message(MessageKind::Frame, i + 1, sim::buildFrame(frameFor(static_cast<Mode>(i), i + 1)), 3);
  }
  for (std::uint8_t row = 0; row < 4; ++row) {
    sim::ImageFields img;
    img.sessionId = kSession;
    img.imageId = 3;
    img.rowIndex = row;
    img.pixels.fill(sim::imagePixel(static_cast<std::uint16_t>(0x1234 * (row + 1))));
    s.message(MessageKind::Image, row + 1, sim::buildImage(img));
  }
  return s.bytes();
}

Bytes handshake() {
  Script s;
  sim::HelloFields hello;
  hello.identification = "0123456789ABCDE";
  s.message(MessageKind::Response, 1, sim::buildHelloAnswer(kFirstRequestId, hello), kToResponseAssembler | 1);
  s.message(MessageKind::Response, 2, sim::buildOpenSessionAnswer(kFirstRequestId + 1, 77),
            kToResponseAssembler | 1);
  s.message(MessageKind::Response, 3, sim::buildAnswer({1, kFirstRequestId + 1, 0}, kStatusNotAccepted),
            kToResponseAssembler);
  return s.bytes();
}

Bytes awkward() {
  Script s;
  sim::StateFields state;
  state.sessionId = kSession;
  const Bytes stateBytes = sim::buildState(state);
  const Bytes frame = sim::buildFrame(frameFor(Mode::PianoRoll, 5));
  s.message(MessageKind::Frame, 9, frame);  // waits for its STATE
  s.reversed(MessageKind::State, 2, stateBytes);
  s.message(MessageKind::State, 3, stateBytes, 0x0B);  // 500 ms between fragments: expires
  s.message(MessageKind::State, 4, stateBytes, 0x07);
  s.control(kRepeatPrevious | 2);
  s.control(kShortReport | kRepeatPrevious | 2);
  s.control(kReset);
  s.message(MessageKind::State, 0xFFFFFFFF, stateBytes);
  s.message(MessageKind::State, 0, stateBytes);
  s.message(MessageKind::Frame, 1, frame, 0x08);
  return s.bytes();
}

void write(const std::filesystem::path& dir, const std::string& name, const Bytes& bytes) {
  std::ofstream out(dir / name, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace
}  // namespace pelmora::fuzz

int main(int argc, char** argv) {
  using namespace pelmora;
  using namespace pelmora::fuzz;
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::filesystem::create_directories(dir);
  write(dir, "session", session());
  write(dir, "handshake", handshake());
  write(dir, "awkward", awkward());
  // Bare messages, for the validators that read the input as one message.
  write(dir, "frame", sim::buildFrame(frameFor(Mode::Channels, 1)));
  write(dir, "state", sim::buildState({}));
  write(dir, "image", sim::buildImage({}));
  write(dir, "hello", sim::buildHelloAnswer(1));
  return 0;
}
