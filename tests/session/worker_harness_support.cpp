#include "worker_harness.h"

#include <algorithm>

#include "core/protocol/session_engine.h"
#include "core/render/status_screen.h"

namespace pelmora::testing {

std::vector<std::string> knownStatusTexts() {
  return {"No Device",
          "Connecting...",
          "Reconnecting...",
          "Connection Error",
          "Connection Error\nI/O Cancellation Pending",
          "Connection Error\nRandom Number Failed",
          "Connection Error\nPower Resume",
          "Unsupported Protocol",
          "Device Busy\nProtocol BUSY",
          "Connection Error\nCommand Rejected",
          "Connection Error\nFeature I/O Timeout",
          "Connection Error\nFeature Retry Failed",
          "Response Timeout",
          "Response Timeout\nLCD Synchronization",
          "Response Timeout\nMissing STATE",
          "Connection Error\nLCD Stream Stopped",
          "Connection Error\nSession Expired",
          "Invalid Serial\nDuplicate",
          "Invalid Serial\nEmpty",
          "Unsupported Protocol\nReport Size"};
}

std::string toAscii(const std::u16string& text) {
  std::string out;
  for (char16_t c : text) out.push_back(c < 128 ? static_cast<char>(c) : '?');
  return out;
}

std::u16string toUtf16(const std::string& text) { return {text.begin(), text.end()}; }

WorkerHarness::WorkerHarness(ConnectionHooks hooks, std::uint32_t sliceMs)
    : hooks_(std::move(hooks)),
      innerWait_(hooks_.wait),
      sliceMs_(sliceMs),
      known_(knownStatusTexts()),
      lastFrame_(std::make_unique<OutputFrame>()),
      scratch_(std::make_unique<OutputFrame>()) {
  ConnectionHooks workerHooks = hooks_;
  workerHooks.wait = [this](std::uint32_t ms) { return wait(ms); };
  workerHooks.waitForReport = [this](std::uint32_t ms, const ReportSignal& signal) { return waitForReport(ms, signal); };
  worker_ = std::make_unique<ConnectionWorker>(
      nullptr, [this](const OutputFrame& frame) { onFrame(frame); },
      [this](const LcdModel& model, const LcdCanvas&) {
        nextIsLcd_ = true;
        const std::uint8_t mode = model.frameMessage.size() > kFrameModeOffset ? model.frameMessage[kFrameModeOffset] : 0xFF;
        if (mode < kModeCount) ++modeFrames_[mode];
      },
      nullptr, workerHooks,
      [this](const std::u16string& serial) {
        events_.push_back({now(), WorkerEvent::Kind::Serial, toAscii(serial)});
      },
      [this] { return std::erase_if(resumes_, [this](std::uint64_t t) { return t <= now(); }) > 0; });
}

bool WorkerHarness::stopRequested() {
  if (!stopped_ && (now() >= stopAt_ || (stopWhen_ && stopWhen_()))) {
    stopped_ = true;
    stoppedAt_ = now();
  }
  return stopped_;
}

bool WorkerHarness::runDue() {
  bool ran = false;
  for (std::size_t i = 0; i < schedule_.size();) {
    if (schedule_[i].timeMs <= now()) {
      auto action = std::move(schedule_[i].action);
      schedule_.erase(schedule_.begin() + static_cast<std::ptrdiff_t>(i));
      action();
      ran = true;
    } else {
      ++i;
    }
  }
  return ran;
}

bool WorkerHarness::wait(std::uint32_t ms, bool endOnAction) {
  runDue();
  if (stopRequested()) return true;
  while (ms > 0) {
    // Ends on the stop's time and each action's, as a host's signal would.
    std::uint64_t slice = std::min(ms, sliceMs_);
    const std::uint64_t t = now();
    if (stopAt_ > t) slice = std::min(slice, stopAt_ - t);
    for (const Scheduled& s : schedule_) slice = s.timeMs > t ? std::min(slice, s.timeMs - t) : slice;
    innerWait_(static_cast<std::uint32_t>(slice));
    ms -= static_cast<std::uint32_t>(slice);
    const bool acted = runDue();
    if (stopRequested()) return true;
    if (acted && endOnAction) return false;
  }
  return false;
}

bool WorkerHarness::waitForReport(std::uint32_t ms, const ReportSignal& signal) {
  if (!hooks_.waitForReport) {
    // Only an announced landing can be slept on here; scripted events never fire.
    const bool due = signal.kind == ReportSignal::Kind::dueIn;
    return wait(std::min(ms, due ? signal.dueEndMs() : kIdleWaitMs), true);
  }
  runDue();
  if (stopRequested()) return true;
  hooks_.waitForReport(ms, signal);
  runDue();
  return stopRequested();
}

void WorkerHarness::onFrame(const OutputFrame& frame) {
  *lastFrame_ = frame;
  if (nextIsLcd_) {
    nextIsLcd_ = false;
    ++lcdFrames_;
    lastLcdTime_ = now();
    if (events_.empty() || events_.back().kind != WorkerEvent::Kind::Lcd) {
      events_.push_back({now(), WorkerEvent::Kind::Lcd, {}});
    }
    return;
  }
  // The band never reaches the first or last rows.
  const bool black = std::all_of(frame.begin(), frame.begin() + kCanvasWidth * 40, [](std::uint32_t p) { return p == 0; }) &&
                     std::all_of(frame.end() - kCanvasWidth * 40, frame.end(), [](std::uint32_t p) { return p == 0; });
  events_.push_back({now(), WorkerEvent::Kind::Status, classify(frame), black});
}

// Drawing the right text again over a status screen changes nothing; any
// other text would change the band.
std::string WorkerHarness::classify(const OutputFrame& frame) const {
  for (const std::string& text : known_) {
    *scratch_ = frame;
    drawStatusScreen(*scratch_, text.data(), text.size(), true);
    if (*scratch_ == frame) return text;
  }
  return "<unknown status>";
}

std::vector<std::string> WorkerHarness::statusSequence() const {
  std::vector<std::string> out;
  for (const WorkerEvent& e : events_) {
    if (e.kind == WorkerEvent::Kind::Status && (out.empty() || out.back() != e.text)) out.push_back(e.text);
  }
  return out;
}

std::size_t WorkerHarness::countStatus(const std::string& text) const {
  return static_cast<std::size_t>(std::count_if(events_.begin(), events_.end(), [&](const WorkerEvent& e) {
    return e.kind == WorkerEvent::Kind::Status && e.text == text;
  }));
}

std::uint64_t WorkerHarness::firstStatusTime(const std::string& text, std::uint64_t fromMs) const {
  for (const WorkerEvent& e : events_) {
    if (e.kind == WorkerEvent::Kind::Status && e.text == text && e.timeMs >= fromMs) return e.timeMs;
  }
  return ~std::uint64_t{0};
}

std::vector<std::string> WorkerHarness::serialSequence() const {
  std::vector<std::string> out;
  for (const WorkerEvent& e : events_) {
    if (e.kind == WorkerEvent::Kind::Serial) out.push_back(e.text);
  }
  return out;
}

}  // namespace pelmora::testing

namespace pelmora::testing {

std::string WorkerHarness::dump() const {
  std::string out;
  const std::uint64_t t0 = events_.empty() ? 0 : events_.front().timeMs;
  for (const WorkerEvent& e : events_) {
    out += "\n  +" + std::to_string(e.timeMs - t0) + " ms ";
    switch (e.kind) {
      case WorkerEvent::Kind::Status: out += "status \"" + e.text + "\""; break;
      case WorkerEvent::Kind::Lcd: out += "lcd frames"; break;
      case WorkerEvent::Kind::Serial: out += "serial \"" + e.text + "\""; break;
    }
  }
  return out;
}

}  // namespace pelmora::testing
