#pragma once
// The worker thread: runs the shared core for one device and hands its
// frames and serials to the window through AppState.
#include <windows.h>

namespace pelmora::winapp {

// Thread procedure; the parameter is the program's AppState, which must
// outlive the thread. Always returns 0: a worker that fails leaves its
// status screen on the window instead.
DWORD WINAPI ConnectionThread(LPVOID parameter);

}  // namespace pelmora::winapp
