#pragma once
// The main window: class, procedure and the messages it answers.
#include <windows.h>

namespace pelmora::winapp {

inline constexpr const wchar_t* kWindowClassName = L"Pelmora.MainWindow";
inline constexpr UINT_PTR kFrameTimerId = 1;
inline constexpr UINT kFrameTimerMs = 17;
inline constexpr UINT_PTR kNoticeTimerId = 2;
inline constexpr UINT kNoticeMs = 4000;
// Posted by the worker when a frame arrives and none is pending; the window
// paints it at once (the timer only retitles, and catches what the message
// could not bring).
inline constexpr UINT kFrameReadyMessage = WM_APP + 1;

// The creation parameter must be the program's AppState; the window keeps a
// pointer to it (not ownership) for its whole life.
LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace pelmora::winapp
