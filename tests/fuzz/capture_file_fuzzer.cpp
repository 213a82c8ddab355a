// Feeds arbitrary bytes to the capture reader behind `pelmora --replay`, and
// plays what it accepts through the replaying device as far as a host
// would see it. Nothing may crash, hang or read out of bounds, and an
// accepted capture must keep the reader's promises.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>

#include "core/protocol/wire_format.h"
#include "sim/capture_reader.h"
#include "sim/capture_replayer.h"
#include "sim/fragmenter.h"
#include "sim/message_builders.h"

namespace pelmora::fuzz {
namespace {

void require(bool condition) {
  if (!condition) __builtin_trap();
}

// Replays longer than this are not stepped through: the endpoint lives
// millisecond by millisecond, and the fuzzer wants many inputs a second.
constexpr std::uint64_t kMaxReplayMs = 3000;

Report command(Command code, std::uint32_t requestId, std::uint32_t argument) {
  Report r{};
  r[0] = kCommandReportId;
  std::copy(kMagic.begin(), kMagic.end(), r.begin() + kCommandMagicOffset);
  r[kCommandMajorOffset] = kProtocolMajor;
  r[kCommandMinorOffset] = kProtocolMinor;
  r[kCommandCodeOffset] = static_cast<std::uint8_t>(code);
  for (int i = 0; i < 4; ++i) {
    r[kCommandRequestIdOffset + i] = static_cast<std::uint8_t>(requestId >> (8 * i));
    r[kCommandArgumentOffset + i] = static_cast<std::uint8_t>(argument >> (8 * i));
  }
  return r;
}

void replay(const sim::Capture& capture) {
  std::uint64_t span = 0;
  for (std::size_t i = 1; i < capture.size(); ++i) {
    span += std::min(capture[i].timeMs - capture[i - 1].timeMs, sim::CaptureReplayer::kMaxGapMs);
  }
  if (span > kMaxReplayMs) return;
  sim::CaptureReplayer replayer(capture);
  std::uint64_t now = 1;
  replayer.plugIn(now);
  replayer.hold();
  replayer.receiveFeature(command(Command::Hello, 7, 0));
  replayer.receiveFeature(command(Command::OpenSession, 8, 0));
  const std::size_t ourAnswers = sim::fragmentCountFor(sim::buildHelloAnswer(7).size()) +
                                 sim::fragmentCountFor(sim::buildOpenSessionAnswer(8, 1).size());
  Report report{};
  std::size_t answers = 0;
  const std::uint64_t end = now + span + capture.size() + 100;
  while (now < end && !replayer.done()) {
    replayer.advanceTo(++now);
    while (replayer.popInput(report)) {
      // The recorded answers to the old host's commands never reach this one.
      const bool answer = report[0] == kInputReportId &&
                          report[kFragmentKindOffset] == static_cast<std::uint8_t>(MessageKind::Response);
      if (answer) require(++answers <= ourAnswers);
    }
  }
  require(replayer.played() <= capture.size());
}

}  // namespace
}  // namespace pelmora::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelmora;
  const sim::CaptureReadResult result = sim::readCapture(std::span(data, size));
  if (!result.capture) {
    fuzz::require(!result.error.empty());
    return 0;
  }
  const sim::Capture& capture = *result.capture;
  fuzz::require(!capture.empty());
  fuzz::require(result.tornBytes < sim::kCaptureRecordLength);
  fuzz::require(sim::kCaptureHeaderLength + capture.size() * sim::kCaptureRecordLength + result.tornBytes == size);
  for (std::size_t i = 1; i < capture.size(); ++i) fuzz::require(capture[i - 1].timeMs <= capture[i].timeMs);
  fuzz::replay(capture);
  return 0;
}
