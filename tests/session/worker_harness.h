#pragma once
// Runs a ConnectionWorker against hooks (normally the simulated synthesizer
// on its virtual clock) and keeps a timeline of what the worker showed:
// status screens by their text, LCD frames, and serial changes.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/protocol/connection_worker.h"

namespace pelmora::testing {

struct WorkerEvent {
  enum class Kind { Status, Lcd, Serial };
  std::uint64_t timeMs = 0;
  Kind kind = Kind::Status;
  std::string text;  // status text, or the serial as ASCII
  bool onBlack = false;  // a status screen with nothing but black around its band
};

// Status texts every scenario may see; codes are added per test.
std::vector<std::string> knownStatusTexts();

class WorkerHarness {
 public:
  // Waits longer than `sliceMs` are cut into slices so that a stop condition
  // can end them early, as a host's stop signal would. A wait for a report
  // goes to the hooks' own when they have one; otherwise it is a sliced
  // wait that a scheduled action also ends, as the world it changed would
  // signal.
  explicit WorkerHarness(ConnectionHooks hooks, std::uint32_t sliceMs = 10);

  ConnectionWorker& worker() { return *worker_; }
  std::uint64_t now() { return hooks_.now(); }

  void addKnownText(const std::string& text) { known_.push_back(text); }
  void stopAt(std::uint64_t timeMs) { stopAt_ = timeMs; }
  void stopWhen(std::function<bool()> condition) { stopWhen_ = std::move(condition); }
  // A resume notice at `timeMs`; notices not yet taken when the engine
  // looks are taken together, as the host's one resume event would be.
  void resumeAt(std::uint64_t timeMs) { resumes_.push_back(timeMs); }
  // Runs `action` inside the first wait that ends at or after `timeMs`
  // (faults switched on mid-session, a clock jump, an unplug).
  void at(std::uint64_t timeMs, std::function<void()> action) { schedule_.push_back({timeMs, std::move(action)}); }
  // The time at which the stop was first reported.
  std::uint64_t stoppedAt() const { return stoppedAt_; }

  void run() { worker_->run(); }

  const std::vector<WorkerEvent>& events() const { return events_; }
  // Status texts in order, repeats of the same text in a row folded into one.
  std::vector<std::string> statusSequence() const;
  std::size_t lcdFrames() const { return lcdFrames_; }
  // LCD frames delivered per display page.
  const std::array<std::size_t, kModeCount>& modeFrames() const { return modeFrames_; }
  // Time of the latest LCD frame.
  std::uint64_t lastLcdTime() const { return lastLcdTime_; }
  std::size_t countStatus(const std::string& text) const;
  // Time of the first status screen with this text at or after `fromMs`; ~0 when none.
  std::uint64_t firstStatusTime(const std::string& text, std::uint64_t fromMs = 0) const;
  // The timeline as text, for failure messages.
  std::string dump() const;
  // The serial reports, as ASCII ("" for "no serial").
  std::vector<std::string> serialSequence() const;

  // The last frame delivered and whether it was an LCD frame.
  const OutputFrame& lastFrame() const { return *lastFrame_; }

 private:
  bool wait(std::uint32_t ms, bool endOnAction = false);
  bool waitForReport(std::uint32_t ms, const ReportSignal& signal);
  bool stopRequested();
  void onFrame(const OutputFrame& frame);
  std::string classify(const OutputFrame& frame) const;

  ConnectionHooks hooks_;
  std::function<bool(std::uint32_t)> innerWait_;
  std::uint32_t sliceMs_;
  std::unique_ptr<ConnectionWorker> worker_;
  std::vector<std::string> known_;
  std::vector<WorkerEvent> events_;
  std::unique_ptr<OutputFrame> lastFrame_;
  std::unique_ptr<OutputFrame> scratch_;
  std::size_t lcdFrames_ = 0;
  std::array<std::size_t, kModeCount> modeFrames_{};
  std::uint64_t lastLcdTime_ = 0;
  bool nextIsLcd_ = false;
  std::uint64_t stopAt_ = ~std::uint64_t{0};
  std::function<bool()> stopWhen_;
  std::uint64_t stoppedAt_ = 0;
  bool stopped_ = false;
  std::vector<std::uint64_t> resumes_;
  struct Scheduled {
    std::uint64_t timeMs;
    std::function<void()> action;
  };
  std::vector<Scheduled> schedule_;
  // True when an action ran.
  bool runDue();
};

std::string toAscii(const std::u16string& text);
std::u16string toUtf16(const std::string& text);

}  // namespace pelmora::testing
