#include "sim/sim_device.h"

#include <algorithm>
#include <utility>

#include "core/protocol/byte_order.h"
#include "sim/fragmenter.h"

namespace pelmora::sim {

namespace {

// More reports than this waiting to go out and the next frame is skipped:
// about two of the largest frames.
constexpr std::size_t kBacklogReports = 2 * kMaxFragments;
constexpr int kRowsPerFrameOnPicture = 4;
constexpr int kRowsPerFrameElsewhere = 1;
constexpr std::uint8_t kForeignReportId = 3;
constexpr std::uint32_t kOrphanDistance = 0x80000000u;

ContentConfig contentConfig(const DeviceConfig& c) {
  ContentConfig out;
  out.seed = c.seed;
  out.fixedMode = c.fixedMode;
  out.modeCycleMs = c.modeCycleMs;
  out.debugLines = c.debugLines;
  return out;
}

bool hasMagic(const Report& report) {
  return std::equal(kMagic.begin(), kMagic.end(), report.begin() + kCommandMagicOffset);
}

std::uint32_t nonZeroAfter(std::uint32_t value) { return value + 1 == 0 ? 1 : value + 1; }

}  // namespace

SimDevice::SimDevice(const DeviceConfig& config)
    : SimEndpoint(config.deviceQueueReports, config.hostQueueReports),
      config_(config),
      content_(contentConfig(config)),
      random_(config.seed ^ 0x5EED5EED5EEDull) {}

void SimDevice::setMode(int mode) { content_.setFixedMode(mode); }

void SimDevice::setDebugLines(bool on) { content_.setDebugLines(on); }

void SimDevice::onPowerUp(std::uint64_t) {
  delayedAnswers_.clear();
  for (auto& t : transfers_) t = random_.next32();
  endSession();
  lastSessionId_ = 0;
  frameSeq_ = stateSeq_ = rowSeq_ = config_.sequenceStart;
}

std::uint32_t SimDevice::nextTransfer(MessageKind kind) {
  return ++transfers_[static_cast<std::size_t>(kind) - 1];
}

void SimDevice::step(std::uint64_t nowMs) {
  if (sessionId_ != 0 && nowMs - lastHeartbeatMs_ >= config_.sessionTimeoutMs) {
    ++counters_.sessionsExpired;
    endSession();
  }
  // Delays differ per command, so a later answer may fall due first.
  for (auto it = delayedAnswers_.begin(); it != delayedAnswers_.end();) {
    if (it->dueMs > nowMs) {
      ++it;
      continue;
    }
    sendAnswer(it->message);
    it = delayedAnswers_.erase(it);
  }
  if (faults.foreignReport.fire()) {
    Report foreign{};
    foreign[0] = kForeignReportId;
    pipe().queue(foreign, true);
  }
  if (streaming() && !faults.silenced && !faults.streamPaused && nowMs >= nextFrameMs_) produceFrame(nowMs);
}

std::uint64_t SimDevice::nextOutputMs() const {
  std::uint64_t next = UINT64_MAX;
  for (const DelayedAnswer& delayed : delayedAnswers_) next = std::min(next, delayed.dueMs);
  if (faults.foreignReport.armed()) next = now() + 1;
  if (streaming() && !faults.silenced && !faults.streamPaused) next = std::min(next, nextFrameMs_);
  return next;
}

// ---- Commands -----------------------------------------------------------------

void SimDevice::onFeature(const Report& report, std::uint64_t nowMs) {
  if (report[0] != kCommandReportId || !hasMagic(report)) return;
  const CommandFields command = parseCommand(report);
  if (command.code < kFirstCommand || command.code > kLastCommand) return;
  ++counters_.commands;
  lastCommand_ = command.code;
  if (faults.silenced) return;
  auto& perCommand = faults.commands[command.code - 1];
  if (perCommand.silenceAfter) {
    faults.silenced = true;
    return;
  }
  if (report[kCommandMajorOffset] != kProtocolMajor || report[kCommandMinorOffset] != kProtocolMinor) {
    answer(command, buildAnswer(command, kStatusUnsupported));
    return;
  }
  if (perCommand.statusCount.fire()) {
    answer(command, buildAnswer(command, perCommand.status));
    return;
  }
  handleCommand(command, nowMs);
}

void SimDevice::handleCommand(const CommandFields& command, std::uint64_t nowMs) {
  const bool forOpenSession = sessionId_ != 0 && command.argument == sessionId_;
  switch (static_cast<Command>(command.code)) {
    case Command::Hello:
      answer(command, buildHelloAnswer(command.requestId, config_.hello));
      return;
    case Command::OpenSession:
      openSession(nowMs);
      answer(command, buildOpenSessionAnswer(command.requestId, sessionId_));
      return;
    default:
      break;
  }
  if (!forOpenSession) {
    answer(command, buildAnswer(command, kStatusRejected1));
    return;
  }
  switch (static_cast<Command>(command.code)) {
    case Command::CloseSession:
      ++counters_.sessionsClosed;
      endSession();
      answer(command, buildAnswer(command));
      break;
    case Command::Heartbeat:
      ++counters_.heartbeats;
      lastHeartbeatMs_ = nowMs;
      if (!streaming_) {
        streaming_ = true;
        nextFrameMs_ = nowMs + 1;
      }
      answer(command, buildAnswer(command));
      break;
    case Command::RequestState:
      ++counters_.stateRequests;
      answer(command, buildAnswer(command));
      if (!faults.streamPaused) sendState();
      break;
    default:
      break;
  }
}

void SimDevice::answer(const CommandFields& command, Message message) {
  auto& perCommand = faults.commands[command.code - 1];
  const AnswerFault fault = perCommand.answerCount.fire() ? perCommand.answer : AnswerFault::None;
  switch (fault) {
    case AnswerFault::WrongSessionId:
      writeU32(&message[kResponseArgumentOffset], readU32(&message[kResponseArgumentOffset]) + 1);
      break;
    case AnswerFault::WrongRequestId:
      writeU32(&message[kResponseRequestIdOffset], readU32(&message[kResponseRequestIdOffset]) + 1);
      break;
    case AnswerFault::WrongCommand:
      message[kResponseCommandOffset] = static_cast<std::uint8_t>(command.code % kLastCommand + 1);
      break;
    case AnswerFault::Version21:
      message[kMinorOffset] = 1;
      break;
    case AnswerFault::Silent:
      return;
    case AnswerFault::Duplicate:
    case AnswerFault::None:
      break;
  }
  const int copies = fault == AnswerFault::Duplicate ? 2 : 1;
  for (int i = 0; i < copies; ++i) {
    if (perCommand.answerDelayMs > 0) {
      delayedAnswers_.push_back({now() + perCommand.answerDelayMs, message});
    } else {
      sendAnswer(message);
    }
  }
}

void SimDevice::sendAnswer(const Message& message) {
  ++counters_.answers;
  sendMessage(MessageKind::Response, message, true);
}

void SimDevice::openSession(std::uint64_t nowMs) {
  lastSessionId_ = sessionId_ != 0 ? sessionId_ : lastSessionId_;
  std::uint32_t id = 0;
  while (id == 0 || id == lastSessionId_) id = random_.next32();
  sessionId_ = id;
  streaming_ = false;
  lastHeartbeatMs_ = nowMs;
  stateSeq_ = nonZeroAfter(stateSeq_);
  stateDue_ = true;
  rowsPending_.set();
  content_.startSession(nowMs);
  ++counters_.sessionsOpened;
}

void SimDevice::endSession() {
  sessionId_ = 0;
  streaming_ = false;
}

// ---- The stream ------------------------------------------------------------------

void SimDevice::produceFrame(std::uint64_t nowMs) {
  nextFrameMs_ += config_.framePeriodMs;
  if (nextFrameMs_ <= nowMs) nextFrameMs_ = nowMs + config_.framePeriodMs;
  if (pipe().deviceQueued() > kBacklogReports) {
    ++counters_.framesSkipped;
    return;
  }
  content_.frame(nowMs, frame_);
  if (content_.stateVersion() != sentStateVersion_) {
    if (sentStateVersion_ != 0) stateSeq_ = nonZeroAfter(stateSeq_);
    sentStateVersion_ = content_.stateVersion();
    stateDue_ = true;
  }
  if (stateDue_) sendState();
  if (frame_.imageId != imageId_) {
    imageId_ = frame_.imageId;
    rowsPending_.set();
  }
  frame_.sessionId = sessionId_;
  frame_.frameSeq = ++frameSeq_;
  // An orphan names a STATE half the number space away: one that will not
  // be sent in any session's lifetime.
  frame_.stateSeq = faults.orphanFrames ? nonZeroAfter(stateSeq_ + kOrphanDistance) : stateSeq_;
  sendMessage(MessageKind::Frame, buildFrame(frame_), false);
  ++counters_.frames;
  sendImageRows(frame_.mode);
}

void SimDevice::sendState() {
  StateFields state = content_.state();
  state.sessionId = sessionId_;
  state.stateSeq = stateSeq_;
  sendMessage(MessageKind::State, buildState(state), false);
  ++counters_.states;
  stateDue_ = false;
}

void SimDevice::sendImageRows(Mode mode) {
  const bool onPicture = mode == Mode::Picture;
  int budget = onPicture ? kRowsPerFrameOnPicture : kRowsPerFrameElsewhere;
  ImageFields row;
  row.sessionId = sessionId_;
  row.imageId = imageId_;
  auto send = [&](std::uint8_t index) {
    row.rowSeq = ++rowSeq_;
    row.rowIndex = index;
    row.pixels = Content::pictureRowOf(imageId_, index);
    sendMessage(MessageKind::Image, buildImage(row), false);
    ++counters_.images;
    --budget;
  };
  for (std::size_t r = 0; r < kPictureSize && budget > 0; ++r) {
    if (!rowsPending_.test(r)) continue;
    rowsPending_.reset(r);
    send(static_cast<std::uint8_t>(r));
  }
  // Rows lost on the way come back: the shown picture is refreshed row by row.
  if (onPicture && budget > 0) {
    send(refreshRow_);
    refreshRow_ = static_cast<std::uint8_t>((refreshRow_ + 1) % kPictureSize);
  }
}

void SimDevice::sendMessage(MessageKind kind, const Message& message, bool urgent) {
  std::vector<Report> reports = fragmentMessage(static_cast<std::uint8_t>(kind), nextTransfer(kind), message);
  queueFragments(reports, kind, urgent);
}

void SimDevice::queueFragments(std::vector<Report>& reports, MessageKind kind, bool urgent) {
  const bool faulty = fragmentFaults.any() && (fragmentFaults.kinds >> (static_cast<int>(kind) - 1)) & 1;
  if (!faulty) {
    for (const Report& r : reports) pipe().queue(r, urgent);
    return;
  }
  for (std::size_t i = 0; i < reports.size(); ++i) {
    if (random_.chance(fragmentFaults.reorderRate) && i + 1 < reports.size()) {
      std::swap(reports[i], reports[i + 1]);
      ++counters_.fragmentsFaulted;
    }
    Report& r = reports[i];
    if (random_.chance(fragmentFaults.dropRate)) {
      ++counters_.fragmentsFaulted;
      continue;
    }
    if (random_.chance(fragmentFaults.corruptRate)) {
      r[kFragmentDataOffset + random_.below(kFragmentDataLength)] ^= 0x5A;
      ++counters_.fragmentsFaulted;
    }
    pipe().queue(r, urgent);
    if (random_.chance(fragmentFaults.repeatRate)) {
      pipe().queue(r, urgent);
      ++counters_.fragmentsFaulted;
    }
  }
}

}  // namespace pelmora::sim
