#include "windows/app/window_sizing.h"

#include "host/window_geometry.h"
#include "windows/app/window_messages.h"

namespace pelmora::winapp {

namespace {

// What the system draws around a client area at the DPI: title bar and borders.
host::Size frameSize(UINT dpi) {
  RECT frame{0, 0, 0, 0};
  AdjustWindowRectExForDpi(&frame, kWindowStyle, FALSE, kWindowExStyle, dpi);
  return {frame.right - frame.left, frame.bottom - frame.top};
}

host::Rect workAreaOf(const MONITORINFO& info) {
  const RECT& work = info.rcWork;
  return {work.left, work.top, work.right - work.left, work.bottom - work.top};
}

}  // namespace

SIZE windowSizeFor(int scale, UINT dpi) {
  const host::Size size = windowSizeAt(scale, frameSize(dpi));
  return {size.width, size.height};
}

int firstScaleForScreen() {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoW(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &info)) return host::kMinScale;
  return host::firstScale(frameSize(GetDpiForSystem()), workAreaOf(info));
}

void resizeWindow(HWND window, int scale, UINT dpi, POINT topLeft) {
  const SIZE size = windowSizeFor(scale, dpi);
  HMONITOR monitor = MonitorFromPoint(topLeft, MONITOR_DEFAULTTONEAREST);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (GetMonitorInfoW(monitor, &info)) {
    const host::Point kept = host::keepInWorkArea({topLeft.x, topLeft.y}, workAreaOf(info));
    topLeft = {kept.x, kept.y};
  }
  SetWindowPos(window, nullptr, topLeft.x, topLeft.y, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
  InvalidateRect(window, nullptr, FALSE);
}

bool isTopmost(HWND window) { return (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0; }

void toggleTopmost(HWND window) {
  SetWindowPos(window, isTopmost(window) ? HWND_NOTOPMOST : HWND_TOPMOST, 0, 0, 0, 0,
               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

}  // namespace pelmora::winapp
