#pragma once
// The main window: class, procedure and the messages it answers.
#include <windows.h>

namespace pelmora::winapp {

inline constexpr const wchar_t* kWindowClassName = L"Pelmora.MainWindow";
inline constexpr UINT_PTR kFrameTimerId = 1;
inline constexpr UINT kFrameTimerMs = 17;
inline constexpr UINT_PTR kNoticeTimerId = 2;
inline constexpr UINT kNoticeMs = 4000;

// The creation parameter must be the program's AppState; the window keeps a
// pointer to it (not ownership) for its whole life.
LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace pelmora::winapp
