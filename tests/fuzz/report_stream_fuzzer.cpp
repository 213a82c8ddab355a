// Feeds arbitrary input reports, at arbitrary clock steps, through the
// response and stream assemblers into the display model and the request slot,
// and checks what comes out. Also hands the raw input to the validators.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "core/protocol/byte_order.h"
#include "core/protocol/command_channel.h"
#include "core/protocol/lcd_model.h"
#include "core/protocol/report_assembler.h"
#include "core/protocol/wire_format.h"
#include "fuzz_input_format.h"

namespace pelmora::fuzz {
namespace {

void require(bool condition) {
  if (!condition) __builtin_trap();
}

bool validFrame(const std::vector<std::uint8_t>& m) {
  return validateMessage(static_cast<std::uint8_t>(MessageKind::Frame), m.data(), m.size());
}

void checkModel(const LcdModel& model) {
  require(model.frameMessage.empty() || validFrame(model.frameMessage));
  require(model.stateMessage.empty() ||
          validateMessage(static_cast<std::uint8_t>(MessageKind::State), model.stateMessage.data(),
                          model.stateMessage.size()));
  if (model.pendingFrame) {
    require(validFrame(*model.pendingFrame));
    // A frame that names the current STATE is never left waiting.
    require(!(model.stateSeqValid && readU32(model.pendingFrame->data() + kFrameStateSeqOffset) == model.stateSeq));
  }
  for (const auto& row : model.history) {
    require(std::all_of(row.begin(), row.end(), [](std::uint8_t c) { return c <= kMaxPianoRollCell; }));
  }
}

struct Harness {
  Harness() { resetAll(); }

  void resetAll() {
    stream.reset(kSession);
    responses.reset(0);
    model.reset(kSession);
    request.clear();
    request.begin(static_cast<std::uint8_t>(Command::Hello), kFirstRequestId, 0, now);
  }

  void deliver(const std::uint8_t* report, std::size_t length, bool toResponses) {
    ReportAssembler& assembler = toResponses ? responses : stream;
    if (!assembler.acceptInto(report, length, now, message)) return;
    require(message.kind >= kFirstKind && message.kind <= kLastKind);
    require(validateMessage(message.kind, message.bytes.data(), message.bytes.size()));
    if (toResponses) {
      answer(message);
      return;
    }
    const bool changed = model.apply(message.kind, message.bytes.data(), message.bytes.size());
    require(!changed || !model.frameMessage.empty());
    checkModel(model);
  }

  void answer(const AssembledMessage& m) {
    if (!request.match(m.bytes.data(), m.bytes.size())) return;
    const int hello = checkHello(request.response.data(), request.response.size());
    require(hello >= kHelloOk && hello <= kHelloUnsupported);
    const std::uint32_t next = readU32(&request.command[kCommandRequestIdOffset]) + 1;
    request.clear();
    request.begin(static_cast<std::uint8_t>(Command::Hello), next, 0, now);
  }

  ReportAssembler stream;
  ReportAssembler responses;
  LcdModel model;
  PendingRequest request;
  AssembledMessage message;
  std::uint64_t now = 0;
};

void validateRaw(const std::uint8_t* data, std::size_t size) {
  for (std::uint8_t kind = 0; kind <= kLastKind + 1; ++kind) validateMessage(kind, data, size);
  checkHello(data, size);
}

}  // namespace
}  // namespace pelmora::fuzz

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelmora;
  using namespace pelmora::fuzz;
  validateRaw(data, size);

  static Harness* harness = new Harness();  // reused, so capacity is warmed as in a session
  harness->now = 0;
  harness->resetAll();
  Report report{};
  std::size_t at = 0;
  while (at < size) {
    const std::uint8_t control = data[at++];
    if (control == kReset) {
      harness->resetAll();
      continue;
    }
    harness->now += kTimeSteps[control & kStepMask];
    if ((control & kRepeatPrevious) == 0) {
      const std::size_t take = std::min(kReportLength, size - at);
      report.fill(0);
      std::copy_n(data + at, take, report.begin());
      at += take;
    }
    const std::size_t length = (control & kShortReport) != 0 ? kReportLength - 1 : kReportLength;
    harness->deliver(report.data(), length, (control & kToResponseAssembler) != 0);
  }
  return 0;
}
