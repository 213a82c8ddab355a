#include "windows/app/replay_thread.h"

#include <algorithm>
#include <cstdint>

#include "trace/trace_replay.h"
#include "windows/app/app_state.h"
#include "windows/app/text_encoding.h"
#include "windows/app/window_procedure.h"

namespace pelmora::winapp {
namespace {

constexpr const wchar_t* kMessageCaption = L"Pelmora";
constexpr int kCannotReplay = 1;
constexpr int kDamaged = 4;
// One wait's bound; a longer one is waited in turns.
constexpr ULONGLONG kLongestWaitMs = 60 * 60 * 1000;

std::u16string utf16(std::string_view text) {
  const std::wstring wide = wideFromUtf8(text);
  return {wide.begin(), wide.end()};
}

// True once `due` (GetTickCount64) has come; false as soon as the stop
// event is set.
bool waitUntil(Handle stopEvent, ULONGLONG due) {
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    const auto wait = static_cast<DWORD>(now >= due ? 0 : std::min(due - now, kLongestWaitMs));
    if (WaitForSingleObject(stopEvent, wait) != WAIT_TIMEOUT) return false;
    if (now + wait >= due) return true;
  }
}

void runReplay(AppState& state) {
  trace::ReplayOptions options;
  options.onFrame = [&state](std::size_t, const OutputFrame& frame) {
    // One message however many frames come before the window handles it.
    if (publishFrame(state, frame)) PostMessageW(static_cast<HWND>(state.window), kFrameReadyMessage, 0, 0);
  };
  options.onSerial = [&state](const std::u16string& serial) { publishSerial(state, serial); };
  options.pace = [&state, start = GetTickCount64()](std::uint64_t watchMs) {
    return waitUntil(state.stopEvent, start + watchMs);
  };
  const trace::ReplayResult result = trace::replayTrace(*state.replay, options);
  const char* ending = trace::endingWords(trace::replayEnding(*state.replay, result));
  publishReplayLabel(state, state.replayLabel + u": " + utf16(ending));
}

}  // namespace

bool loadReplay(const std::string& path, trace::Recording& trace, int& exitCode) {
  trace = trace::readRecordingFile(path);
  std::string refusal = trace.error;
  if (trace.kind == trace::RecordingKind::capture) refusal = path + ": a capture of input reports; only traces replay here";
  if (refusal.empty()) return true;
  MessageBoxW(nullptr, wideFromUtf8(refusal).c_str(), kMessageCaption, MB_OK | MB_ICONERROR);
  exitCode = trace.damaged ? kDamaged : kCannotReplay;
  return false;
}

std::u16string replayTitleLabel(std::string_view path, const trace::Recording& trace) {
  return utf16("\xE2\x80\x94 Replay of " + trace::replaySourceText(path, trace));
}

DWORD WINAPI ReplayThread(LPVOID parameter) {
  AppState& state = *static_cast<AppState*>(parameter);
  try {
    runReplay(state);
  } catch (...) {
    // Out of memory: the last picture stays.
  }
  return 0;
}

}  // namespace pelmora::winapp
