#include "core/protocol/session_engine.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "core/protocol/byte_order.h"
#include "core/render/lcd_renderer.h"
#include "core/transport/error_code_rules.h"

namespace pelmora {

namespace {

std::uint8_t code(Command command) { return static_cast<std::uint8_t>(command); }

// Time since `mark` as seen at `t`. A command sent while answering in this
// iteration is stamped after `t` was read; that is no time at all, not an
// unsigned wrap to an age of centuries.
std::uint64_t elapsed(std::uint64_t t, std::uint64_t mark) { return t > mark ? t - mark : 0; }

// An open held up by a transfer this process gave up on is tried again at
// this pace, for a little longer than any system lets a control transfer run.
constexpr std::uint32_t kHeldOpenRetryMs = 50;
constexpr std::uint64_t kHeldOpenLimitMs = 6000;

// A full-speed interrupt endpoint moves at most one report a millisecond,
// and the shortest stream message (a FRAME) takes two.
constexpr std::uint64_t kReportIntervalMs = 1;
constexpr std::size_t kStreamMessageMinReports = (kFrameMinLength + kFragmentDataLength - 1) / kFragmentDataLength;
// A message is under way while its fragments keep coming: its last one was
// read in the burst just before the wait.
constexpr std::uint64_t kMessageUnderWayMs = kReadBurstMs;

}  // namespace

std::string withErrorCode(const char* text, std::uint32_t code) {
  std::string result = text;
  result += "\nError ";
  result += std::to_string(code);
  return result;
}

void ConnectionWorker::runSession(const HidDeviceInfo& device, const std::u16string& serial) {
  SessionEngine(*this, device, serial).run();
}

SessionEngine::SessionEngine(ConnectionWorker& worker, const HidDeviceInfo& device,
                             const std::u16string& serial)
    : worker_(worker), device_(device), serial_(serial), state_(*worker.session_) {}

SessionEngine::~SessionEngine() { state_.channel.transport = nullptr; }

std::string SessionEngine::openFailureMessage() const {
  return withErrorCode(openFailureTextOn(transport_->codeSystem(), openError_), openError_);
}

void SessionEngine::run() {
  worker_.notifySerial({});
  transport_ = worker_.createTransport();
  state_.channel.transport = transport_.get();

  const bool isReconnect = worker_.hasShownFrame && worker_.deviceSerial == serial_;
  worker_.deviceSerial = serial_;
  worker_.showStatus(isReconnect ? kTextReconnecting : kTextConnecting, isReconnect);

  if (!openWhenFree(nullptr)) {
    ++worker_.statistics_.failures;
    worker_.lastError = openFailureMessage();
    worker_.showStatus(worker_.lastError, false);
    worker_.wait(kFailureShowMs);
    return;
  }
  attemptCounter_ = 0;
  runAttempts();
  finish();
}

void SessionEngine::runAttempts() {
  for (;;) {
    if (worker_.wait(0)) return;
    if (attemptCounter_ != 0 && !reopenInPlace()) return;
    try {
      runAttempt();
      return;  // stopped
    } catch (const ConnectionError& error) {
      if (!failureAllowsRetry(error)) return;
    }
  }
}

// False when runSession must end instead of starting the next attempt.
bool SessionEngine::reopenInPlace() {
  worker_.showStatus(kTextReconnecting, true);
  while (!transport_->close(0)) {
    if (worker_.wait(kCloseRetryWaitMs)) break;
    worker_.showStatus(kTextCancellationPending, true);
  }
  if (worker_.wait(0)) return false;
  if (!openWhenFree(&lastErrorText_)) {
    // The failure that brought us here stays the cause when the device has
    // left since, or when our own transfer held it until a stop.
    const HostSystem codes = transport_->codeSystem();
    if (!isDeviceGoneCodeOn(codes, openError_) && !isHeldByOwnTransferCodeOn(codes, openError_)) {
      lastErrorText_ = openFailureMessage();
    }
    return false;
  }
  return true;
}

// Opens the device. While only a transfer this process gave up on holds it,
// the open is repeated until the system lets that transfer go, with `cause`
// (when given) on screen meanwhile: the device is not busy, it is still
// failing the way that transfer did.
bool SessionEngine::openWhenFree(const std::string* cause) {
  if (tryOpen()) return true;
  if (!isHeldByOwnTransferCodeOn(transport_->codeSystem(), openError_)) return false;
  if (cause) worker_.showStatus(*cause, true);
  const std::uint64_t start = worker_.now();
  do {
    if (worker_.wait(kHeldOpenRetryMs)) return false;
    if (tryOpen()) {
      if (cause) worker_.showStatus(kTextReconnecting, true);
      return true;
    }
  } while (isHeldByOwnTransferCodeOn(transport_->codeSystem(), openError_) &&
           elapsed(worker_.now(), start) < kHeldOpenLimitMs);
  return false;
}

bool SessionEngine::tryOpen() {
  if (transport_->open(device_.path)) return true;
  openError_ = transport_->errorCode();
  return false;
}

void SessionEngine::resetAttempt() {
  CommandChannel& channel = state_.channel;
  if (!worker_.random32(channel.requestCounter)) throw ConnectionError(kTextRandomFailed);
  channel.responseAssembler.reset(0);
  state_.streamAssembler.reset(0);
  channel.request.clear();
  state_.model.reset(0);
  clearCanvas(state_.canvas);
  sessionId_ = 0;
  helloRetried_ = false;
  frameDelivered_ = false;
  pendingTimerRunning_ = false;
}

void SessionEngine::runAttempt() {
  resetAttempt();
  const std::uint64_t t0 = worker_.now();
  lastFrameAccepted_ = worker_.now();
  state_.channel.lastHeartbeatSent = worker_.now();
  state_.channel.lastStateRequest = 0;
  send(Command::Hello, 0);
  prevIteration_ = worker_.now();
  syncDeadline_ = t0 + kSyncTimeoutMs;
  phase_ = SessionPhase::helloSent;
  while (iterate() != Step::Stop) {
  }
}

SessionEngine::Step SessionEngine::iterate() {
  if (worker_.wait(0)) {
    sendCloseSession();
    return Step::Stop;
  }
  WorkerStatistics& stats = worker_.statistics_;
  std::uint64_t t = worker_.now();
  stats.maxLoopGapMs = std::max(stats.maxLoopGapMs, t - prevIteration_);
  if (t > prevIteration_) clockStepMs_ = std::min(clockStepMs_, t - prevIteration_);
  checkResume(t);
  if (!transport_->poll()) {
    // A transport told of a removal between reads (macOS) fails here first;
    // a gone device is not worth an in-place reconnect from either path.
    const std::uint32_t error = transport_->errorCode();
    deviceGone_ = isDeviceGoneCodeOn(transport_->codeSystem(), error);
    throw ConnectionError(withErrorCode(kTextCompletionFailed, error));
  }
  prevIteration_ = t;

  const std::uint64_t burstStart = worker_.now();
  const bool received = readBurst(burstStart);
  t = worker_.now();
  stats.maxReadBurstMs = std::max(stats.maxReadBurstMs, t - burstStart);

  if (serviceCommandChannel(t) == Step::NextIteration) return Step::Continue;
  checkTimers(t);
  keepAlive(t);
  if (!received) waitForWork(t);  // a stop is seen at the top of the next iteration
  return Step::Continue;
}

// Sleeps until a report arrives or the next deadline comes near. A pending
// feature transfer whose end would not wake us is looked at every 1 ms, as
// its completion is learned only by polling.
void SessionEngine::waitForWork(std::uint64_t t) {
  ReportSignal signal = transport_->reportSignal();
  const std::uint64_t deadline = nextDeadline();
  if (deadline <= t) return;
  std::uint64_t ms = deadline - t > clockStepMs_ ? deadline - t - clockStepMs_ : kIdleWaitMs;
  if (transport_->isFeaturePending() && !signal.coversFeature) ms = kIdleWaitMs;
  ms = std::min(ms, kHeartbeatIntervalMs);
  // Only the stream can be waiting for reports then (no answer is due), and
  // its reports land at most one a millisecond, a message's back to back.
  // With none under way, a quiet part counted from now would end in the gap
  // before the next message: a wake-up for nothing. Only a transport that
  // tells when its next report lands has it counted from that landing.
  if (state_.channel.request.pending == 0 && sessionId_ != 0) {
    const std::size_t fresh = signal.kind == ReportSignal::Kind::dueIn ? kStreamMessageMinReports : 0;
    const std::size_t needed = state_.streamAssembler.reportsToNextMessage(fresh, t, kMessageUnderWayMs);
    signal.quietMs = static_cast<std::uint32_t>(std::min<std::uint64_t>(needed * kReportIntervalMs, ms));
  }
  worker_.waitForReport(static_cast<std::uint32_t>(ms), signal);
}

// A wake from sleep comes as several notices (Windows: one for every resume,
// a second when a person woke the machine; macOS: the sleep and the wake
// notice). Those that arrive soon after the one that started a reconnect
// belong to the same wake: ending that reconnect too would cost the session.
// A later one is another wake, even while that reconnect is still under way
// (a Mac that fell asleep in the middle of it): the handshake begun before
// the sleep is stale, so the wake starts afresh, in place like the first.
// Each notice is still taken, so none is left over for later.
void SessionEngine::checkResume(std::uint64_t t) {
  if (!worker_.pollResume()) return;
  if (resumeReconnect_ && elapsed(t, resumeNoticeAt_) < kWakeNoticeSpreadMs) return;
  resumeReconnect_ = true;
  resumeNoticeAt_ = t;
  attemptCounter_ = 0;
  throw ConnectionError(kTextPowerResume);
}

// The stop path says goodbye without the request slot: nobody waits for the
// answer, and a transfer still in flight would refuse the send anyway.
void SessionEngine::sendCloseSession() {
  if (sessionId_ == 0 || transport_->isFeaturePending()) return;
  CommandChannel& channel = state_.channel;
  ++channel.requestCounter;
  const CommandReport report = buildCommand(code(Command::CloseSession), channel.requestCounter, sessionId_);
  if (transport_->sendFeature(report.data())) drainCloseSession();
}

// A CLOSE_SESSION still queued at the driver would be cancelled by the close
// that follows, and the device would keep the session until it expires. Let
// the transfer finish, within a limit measured by the clock alone. The wait
// returns at once while stopping, so the pause between looks is a sleep: a
// clock that moves in coarse ticks (15.6 ms on Windows) then sees its limit
// after a few hundred looks instead of a busy core's millions.
void SessionEngine::drainCloseSession() {
  const std::uint64_t start = worker_.now();
  while (transport_->isFeaturePending() && transport_->poll()) {
    if (elapsed(worker_.now(), start) >= kCloseDrainMs) return;
    worker_.sleep(kCloseDrainPollMs);
  }
}

// True when at least one report was read.
bool SessionEngine::readBurst(std::uint64_t start) {
  bool any = false;
  for (int i = 0; i < kReadBurstReports && worker_.now() - start < kReadBurstMs; ++i) {
    Report& report = state_.report;
    report.fill(0);
    bool received = false;
    if (!transport_->readReport(report.data(), received)) {
      const std::uint32_t error = transport_->errorCode();
      deviceGone_ = isDeviceGoneCodeOn(transport_->codeSystem(), error);
      throw ConnectionError(withErrorCode(kTextReadFailed, error));
    }
    if (!received) break;
    any = true;
    handleReport();
  }
  return any;
}

void SessionEngine::handleReport() {
  const Report& report = state_.report;
  if (worker_.onRawReport_) worker_.onRawReport_(report.data());
  if (report[0] != kInputReportId) throw ConnectionError(kTextUnsupportedProtocol);
  const std::uint64_t t = worker_.now();
  if (report[kFragmentKindOffset] != static_cast<std::uint8_t>(MessageKind::Response)) {
    takeStreamReport(t);
  } else {
    takeResponseReport(t);
  }
}

void SessionEngine::takeStreamReport(std::uint64_t t) {
  if (sessionId_ == 0) return;
  AssembledMessage& message = state_.message;
  if (state_.streamAssembler.acceptInto(state_.report.data(), kReportLength, t, message)) {
    intake(message.kind, message.bytes.data(), message.bytes.size());
  }
}

void SessionEngine::takeResponseReport(std::uint64_t t) {
  const Report& report = state_.report;
  const std::uint8_t* data = report.data() + kFragmentDataOffset;
  if (report[kFragmentIndexOffset] == 0 && std::equal(kMagic.begin(), kMagic.end(), data + kMagicOffset) &&
      (data[kMajorOffset] != kProtocolMajor || data[kMinorOffset] != kProtocolMinor)) {
    throw ConnectionError(kTextUnsupportedProtocol);
  }
  AssembledMessage& message = state_.message;
  if (state_.channel.responseAssembler.acceptInto(report.data(), kReportLength, t, message)) {
    state_.channel.request.match(message.bytes.data(), message.bytes.size());
  }
}

void SessionEngine::intake(std::uint8_t kind, const std::uint8_t* bytes, std::size_t length) {
  WorkerStatistics& stats = worker_.statistics_;
  switch (static_cast<MessageKind>(kind)) {
    case MessageKind::Frame: ++stats.frames; break;
    case MessageKind::State: ++stats.states; break;
    case MessageKind::Image: ++stats.images; break;
    case MessageKind::Response: return;  // never on the stream
  }
  LcdModel& model = state_.model;
  const std::uint32_t seqBefore = model.frameSeq;
  const std::uint8_t validBefore = model.frameSeqValid;
  const bool changed = model.apply(kind, bytes, length);
  if (model.frameSeq != seqBefore || model.frameSeqValid != validBefore) lastFrameAccepted_ = worker_.now();
  if (model.pendingFrame) {
    if (!pendingTimerRunning_) {
      pendingSince_ = worker_.now();
      pendingTimerRunning_ = true;
    }
  } else {
    pendingTimerRunning_ = false;
  }
  if (changed && phase_ == SessionPhase::streaming) renderAndDeliver();
}

SessionEngine::Step SessionEngine::serviceCommandChannel(std::uint64_t t) {
  PendingRequest& request = state_.channel.request;
  if (request.hasResponse() && !transport_->isFeaturePending()) return dispatchAnswer();
  if (request.pending == 0) return Step::Continue;
  switch (request.checkTimeout(t)) {
    case TimeoutResult::Nothing: break;
    case TimeoutResult::Resend:
      if (transport_->isFeaturePending()) throw ConnectionError(kTextFeatureIoTimeout);
      if (!transport_->sendFeature(request.command.data())) throw ConnectionError(kTextFeatureRetryFailed);
      break;
    case TimeoutResult::Failed: throw ConnectionError(kTextResponseTimeout);
  }
  return Step::Continue;
}

SessionEngine::Step SessionEngine::dispatchAnswer() {
  PendingRequest& request = state_.channel.request;
  // A RESPONSE is at most kResponseMaxLength bytes once validated; copy no
  // more than that in case a looser one ever gets through.
  state_.answer.fill(0);
  state_.answerLength = std::min(request.response.size(), state_.answer.size());
  std::copy_n(request.response.begin(), state_.answerLength, state_.answer.begin());
  request.clear();
  const std::uint8_t* answer = state_.answer.data();
  const std::uint8_t command = answer[kResponseCommandOffset];
  const std::uint8_t status = answer[kResponseStatusOffset];

  if (status == kStatusNotAccepted && command == code(Command::Hello) && !helloRetried_) {
    if (!worker_.random32(state_.channel.requestCounter)) throw ConnectionError(kTextConnectionError);
    helloRetried_ = true;
    send(Command::Hello, 0);
    return Step::NextIteration;
  }
  if (status == kStatusUnsupported) throw ConnectionError(kTextUnsupportedProtocol);
  if (status == kStatusIgnored && command == code(Command::RequestState)) return Step::NextIteration;
  if (status == kStatusBusy) throw ConnectionError(kTextProtocolBusy);
  if (status != kStatusOk) throw ConnectionError(kTextCommandRejected);

  if (command == code(Command::Hello)) {
    if (checkHello(answer, state_.answerLength) != kHelloOk) throw ConnectionError(kTextUnsupportedProtocol);
    phase_ = SessionPhase::openSent;
    send(Command::OpenSession, 0);
  } else if (command == code(Command::OpenSession)) {
    if (state_.answerLength < kOpenSessionLength) throw ConnectionError(kTextUnsupportedProtocol);
    sessionId_ = readU32(answer + kOpenSessionIdOffset);
    state_.streamAssembler.reset(sessionId_);
    state_.model.reset(sessionId_);
    ++worker_.statistics_.sessions;
    phase_ = SessionPhase::firstHeartbeatSent;
    send(Command::Heartbeat, sessionId_);
  } else if (command == code(Command::Heartbeat) && phase_ == SessionPhase::firstHeartbeatSent) {
    send(Command::RequestState, sessionId_);
    phase_ = SessionPhase::streaming;
    renderAndDeliver();
  }
  return Step::Continue;
}

void SessionEngine::checkTimers(std::uint64_t t) const {
  if (!frameDelivered_ && t >= syncDeadline_) throw ConnectionError(kTextSyncTimeout);
  if (pendingTimerRunning_ && elapsed(t, pendingSince_) >= kMissingStateTimeoutMs) {
    throw ConnectionError(kTextMissingState);
  }
  if (sessionId_ != 0 && elapsed(t, lastFrameAccepted_) >= kStreamStoppedMs) throw ConnectionError(kTextStreamStopped);
  if (sessionId_ != 0 && elapsed(t, state_.channel.lastHeartbeatSent) >= kSessionExpiredMs) {
    throw ConnectionError(kTextSessionExpired);
  }
}

std::uint64_t SessionEngine::nextDeadline() const {
  const CommandChannel& channel = state_.channel;
  std::uint64_t next = UINT64_MAX;
  const auto consider = [&next](std::uint64_t at) { next = std::min(next, at); };
  if (channel.request.pending != 0) consider(channel.request.deadline);
  if (!frameDelivered_) consider(syncDeadline_);
  if (pendingTimerRunning_) consider(pendingSince_ + kMissingStateTimeoutMs);
  if (sessionId_ != 0) {
    consider(lastFrameAccepted_ + kStreamStoppedMs);
    consider(channel.lastHeartbeatSent + kSessionExpiredMs);
  }
  if (phase_ == SessionPhase::streaming && channel.request.pending == 0 && !transport_->isFeaturePending()) {
    consider(channel.lastHeartbeatSent + kHeartbeatIntervalMs);
    if (state_.model.pendingFrame) consider(channel.lastStateRequest + kStateRequestIntervalMs);
  }
  return next;
}

void SessionEngine::keepAlive(std::uint64_t t) {
  const CommandChannel& channel = state_.channel;
  if (phase_ != SessionPhase::streaming || channel.request.pending != 0 || transport_->isFeaturePending()) return;
  if (t - channel.lastHeartbeatSent >= kHeartbeatIntervalMs) {
    send(Command::Heartbeat, sessionId_);
  } else if (state_.model.pendingFrame && t - channel.lastStateRequest >= kStateRequestIntervalMs) {
    send(Command::RequestState, sessionId_);
  }
}

void SessionEngine::send(Command command, std::uint32_t argument) {
  CommandChannel& channel = state_.channel;
  const std::uint64_t before = channel.heartbeats;
  channel.sendCommand(code(command), argument, worker_.now());
  worker_.statistics_.heartbeats += channel.heartbeats - before;
}

void SessionEngine::renderAndDeliver() {
  if (renderLcd(state_.canvas, state_.model)) deliverFrame();
}

void SessionEngine::deliverFrame() {
  if (worker_.onModel_) worker_.onModel_(state_.model, state_.canvas);
  toRgb32(state_.canvas, *worker_.pixels_);
  worker_.hasShownFrame = true;
  worker_.onFrame_(*worker_.pixels_);
  attemptCounter_ = 0;
  frameDelivered_ = true;
  resumeReconnect_ = false;
  worker_.notifySerial(serial_);
}

// The failure rule: true when one more attempt follows in place.
bool SessionEngine::failureAllowsRetry(const ConnectionError& error) {
  if (deviceGone_) worker_.notifySerial({});
  lastErrorText_ = error.what();
  worker_.lastError = lastErrorText_;
  ++worker_.statistics_.failures;
  const bool retryable = !deviceGone_ && lastErrorText_ != kTextUnsupportedProtocol &&
                         !lastErrorText_.starts_with(kTextDeviceBusyPrefix);
  // A reconnect that a resume started and that fails long after its notice
  // met a sleep of its own: a Mac asleep in the middle of it wakes with
  // timers that see the whole night at once, often before the wake notice
  // is in. The wake gets its own reconnect, as its notice would have given.
  if (resumeReconnect_ && elapsed(prevIteration_, resumeNoticeAt_) >= kWakeNoticeSpreadMs) {
    resumeReconnect_ = false;
    attemptCounter_ = 0;
  }
  const std::uint32_t previous = attemptCounter_++;
  return retryable && previous == 0;
}

void SessionEngine::finish() {
  worker_.notifySerial({});
  // While a stop is requested the wait returns at once: the close is then
  // retried without pause and without a status screen until it lets go.
  while (!transport_->close(0)) {
    if (!worker_.wait(kCloseRetryWaitMs)) worker_.showStatus(kTextCancellationPending, true);
  }
  if (!worker_.wait(0)) {
    worker_.lastError = lastErrorText_;
    worker_.showStatus(lastErrorText_, false);
    worker_.wait(kFailureShowMs);
  }
}

}  // namespace pelmora
