#include "linux/app/replay_view.h"

#include <cstdio>
#include <utility>

#include "linux/app/app_options.h"
#include "linux/app/translation.h"

namespace pelmora::app {
namespace {

// Often enough that the title follows the last picture at once, seldom
// enough to cost nothing.
constexpr guint kCheckMs = 250;

// Followed by the file's name, then the recording system and version.
constexpr const char* kReplayOfText = translatable("Replay of");
// How a replay ended, after the title's "Replay of FILE (…)".
constexpr const char* kEndedText = translatable("ended");
constexpr const char* kCutShortText = translatable("ended where the file was cut short");
constexpr const char* kSizeBoundText = translatable("ended where the recording reached its size bound");
constexpr const char* kStoppedText = translatable("stopped");
constexpr const char* kDiffersText = translatable("stopped: this program differs from the one that recorded it");

const char* endingText(trace::ReplayEnding ending) {
  switch (ending) {
    case trace::ReplayEnding::ended: break;
    case trace::ReplayEnding::cutShort: return kCutShortText;
    case trace::ReplayEnding::sizeBound: return kSizeBoundText;
    case trace::ReplayEnding::stopped: return kStoppedText;
    case trace::ReplayEnding::differs: return kDiffersText;
  }
  return kEndedText;
}

}  // namespace

std::string replayLabel(std::string_view path, const trace::Recording& trace) {
  return std::string("— ") + tr(kReplayOfText) + " " + trace::replaySourceText(path, trace);
}

std::string replayEndedLabel(std::string_view label, trace::ReplayEnding ending) {
  return std::string(label) + ": " + tr(endingText(ending));
}

int replayExitCode(const trace::ReplayResult& result) { return result.diverged ? kReplayDiffersExitCode : 0; }

ReplayWatch::ReplayWatch(SessionBridge& session, const trace::Recording& trace, std::string_view path,
                         std::function<void(const std::string& label)> showLabel)
    : session_(session), trace_(trace), path_(path), label_(replayLabel(path, trace)), showLabel_(std::move(showLabel)) {
  showLabel_(label_);
  source_ = g_timeout_add(kCheckMs, &ReplayWatch::check, this);
}

ReplayWatch::~ReplayWatch() {
  if (source_) g_source_remove(source_);
}

gboolean ReplayWatch::check(gpointer data) {
  auto* self = static_cast<ReplayWatch*>(data);
  const std::optional<trace::ReplayResult> result = self->session_.replayResult();
  if (!result) return G_SOURCE_CONTINUE;
  self->source_ = 0;
  self->exitCode_ = replayExitCode(*result);
  const trace::ReplayEnding ending = trace::replayEnding(self->trace_, *result);
  self->showLabel_(replayEndedLabel(self->label_, ending));
  // A cut file was told at start already.
  const std::string why = ending == trace::ReplayEnding::cutShort ? "" : trace::explainEnding(self->trace_, *result);
  if (!why.empty()) {
    std::fputs(errorLine("pelmora", self->path_ + ": " + why).c_str(), stderr);
  }
  return G_SOURCE_REMOVE;
}

}  // namespace pelmora::app
