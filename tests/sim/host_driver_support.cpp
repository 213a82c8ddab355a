#include "host_driver.h"

#include "core/protocol/byte_order.h"

namespace pelmora::sim {

HostDriver::HostDriver(SimBus& bus, VirtualClock& clock)
    : clock_(clock), transport_(bus.createTransport()) {}

bool HostDriver::open(const std::u16string& path) { return transport_->open(path); }

void HostDriver::send(Command code, std::uint32_t argument) {
  responses.reset(argument);
  ++requestCounter_;
  request.clear();
  request.begin(static_cast<std::uint8_t>(code), requestCounter_, argument, clock_.now());
  transport_->sendFeature(request.command.data());
  if (code == Command::Heartbeat) lastHeartbeatMs_ = clock_.now();
}

std::vector<std::uint8_t> HostDriver::command(Command code, std::uint32_t argument, std::uint64_t timeoutMs) {
  send(code, argument);
  for (std::uint64_t waited = 0; waited < timeoutMs && request.pending != 0; ++waited) pump(1);
  return request.hasResponse() ? request.response : std::vector<std::uint8_t>{};
}

std::uint32_t HostDriver::handshake() {
  if (command(Command::Hello, 0).empty()) return 0;
  const auto open = command(Command::OpenSession, 0);
  if (open.size() < kOpenSessionLength) return 0;
  sessionId = readU32(&open[kOpenSessionIdOffset]);
  stream.reset(sessionId);
  model.reset(sessionId);
  command(Command::Heartbeat, sessionId);
  command(Command::RequestState, sessionId);
  return sessionId;
}

void HostDriver::pump(std::uint64_t ms) {
  for (std::uint64_t i = 0; i < ms; ++i) {
    clock_.advance(1);
    transport_->poll();
    if (reading) readAll();
    if (keepAlive && sessionId != 0 && clock_.now() - lastHeartbeatMs_ >= 1000 &&
        !transport_->isFeaturePending() && request.pending == 0) {
      send(Command::Heartbeat, sessionId);
    }
  }
}

void HostDriver::readAll() {
  Report report{};
  bool received = true;
  std::uint64_t count = 0;
  while (transport_->readReport(report.data(), received) && received) {
    ++count;
    reports.push_back(report);
    if (report[0] != kInputReportId) {
      ++foreignReports;
      continue;
    }
    if (report[kFragmentKindOffset] == static_cast<std::uint8_t>(MessageKind::Response)) {
      if (auto message = responses.accept(report.data(), report.size(), clock_.now())) {
        ++messages[message->kind];
        answers.push_back(message->bytes);
        request.match(message->bytes.data(), message->bytes.size());
      }
    } else if (sessionId != 0) {
      if (auto message = stream.accept(report.data(), report.size(), clock_.now())) takeStream(*message);
    }
  }
  maxReportsInOneMs = std::max(maxReportsInOneMs, count);
}

void HostDriver::takeStream(const AssembledMessage& message) {
  ++messages[message.kind];
  const std::size_t k = message.kind - 1u;
  if (sawTransfer_[k] && sequenceDelta(message.transferNumber, lastTransfer_[k]) <= 0) {
    transferNumbersIncrease = false;
  }
  sawTransfer_[k] = true;
  lastTransfer_[k] = message.transferNumber;
  const bool changed = model.apply(message.kind, message.bytes.data(), message.bytes.size());
  if (changed && message.kind != static_cast<std::uint8_t>(MessageKind::Image)) {
    ++shownFrames;
    const std::uint8_t mode = model.frameMessage[kFrameModeOffset];
    if (mode < kModeCount) modesShown.set(mode);
  }
}

}  // namespace pelmora::sim
