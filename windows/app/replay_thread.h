#pragma once
// `Pelmora.exe --replay FILE`: the worker thread replays a trace at its
// recorded pace instead of running the supervisor. Its frames and serial
// reach the window through AppState as a live session's do; the title says
// that it is a replay of which file, and at the end how it ended, while the
// last picture stays.
#include <windows.h>

#include <string>
#include <string_view>

#include "trace/trace_reader.h"

namespace pelmora::winapp {

// Reads FILE for the replay. A file that cannot be replayed is told in a
// message box (a program started from a shortcut has no console) and is
// false, with the exit status: 4 when damaged, else 1.
bool loadReplay(const std::string& path, trace::Recording& trace, int& exitCode);

// "— Replay of NAME (SYSTEM, VERSION)", which follows the serial in the title.
std::u16string replayTitleLabel(std::string_view path, const trace::Recording& trace);

// Thread procedure; the parameter is the program's AppState, whose `replay`
// is set and must outlive the thread. Always returns 0.
DWORD WINAPI ReplayThread(LPVOID parameter);

}  // namespace pelmora::winapp
