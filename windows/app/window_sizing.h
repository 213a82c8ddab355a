#pragma once
// The window's size follows the scale and the DPI of its monitor; the
// client area is always 320 x 170 physical pixels times the scale.
#include <windows.h>

namespace pelmora::winapp {

inline constexpr DWORD kWindowStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
inline constexpr DWORD kWindowExStyle = 0;

// The outer size of a window whose client area shows the picture at scale.
SIZE windowSizeFor(int scale, UINT dpi);

// The scale a window opens at unasked, for the work area of the primary
// monitor, where a window placed by the system appears.
int firstScaleForScreen();

// Sizes the window for the scale at the DPI, with its top-left at the
// requested point moved as far as needed to keep a grip inside the work
// area of the nearest monitor; then repaints.
void resizeWindow(HWND window, int scale, UINT dpi, POINT topLeft);

void toggleTopmost(HWND window);
bool isTopmost(HWND window);

}  // namespace pelmora::winapp
