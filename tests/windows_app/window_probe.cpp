// Looks at the running program's window from outside, as the window test's
// eyes and hands inside Wine: where the window and its client area are, its
// title and topmost bit, an open context menu; it posts messages and moves
// the window; and it writes the exact picture a status screen must show.
//
//   window_probe find SECONDS        waits for the window, then prints info
//   window_probe info                one "key value..." line per fact
//   window_probe menu                the open context menu's rectangle
//   window_probe post MESSAGE WPARAM LPARAM
//   window_probe move X Y            the window's top-left, size unchanged
//   window_probe dpisize DPI         sends WM_GETDPISCALEDSIZE for DPI and
//                                    prints "dpisize ANSWER WIDTH HEIGHT"
//   window_probe reference TEXT FILE the status screen as a binary PPM; "\n"
//                                    in TEXT (backslash, n) breaks the line
//   window_probe capture FILE        the client area as the window draws it
//                                    (PrintWindow), as a binary PPM
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "core/render/status_screen.h"

namespace {

constexpr const wchar_t* kClassName = L"Pelmora.MainWindow";
constexpr const wchar_t* kMenuClassName = L"#32768";
// PW_RENDERFULLCONTENT (Windows 8.1): the composed content, also of windows
// that draw with DirectComposition; older headers lack the name.
constexpr UINT kRenderFullContent = 0x00000002;

HWND findWindow() { return FindWindowW(kClassName, nullptr); }

std::string utf8(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  out.resize(std::strlen(out.c_str()));
  return out;
}

void printRect(const char* name, const RECT& r) {
  std::printf("%s %ld %ld %ld %ld\n", name, r.left, r.top, r.right - r.left, r.bottom - r.top);
}

int printInfo(HWND window) {
  RECT client{};
  GetClientRect(window, &client);
  POINT origin{0, 0};
  ClientToScreen(window, &origin);
  OffsetRect(&client, origin.x, origin.y);
  RECT outer{};
  GetWindowRect(window, &outer);
  wchar_t title[256] = {};
  GetWindowTextW(window, title, 256);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor);
  printRect("client", client);
  printRect("window", outer);
  printRect("work", monitor.rcWork);
  std::printf("title %s\n", utf8(title).c_str());
  std::printf("topmost %d\n", (GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) ? 1 : 0);
  std::printf("style %08lx\n", static_cast<unsigned long>(GetWindowLongPtrW(window, GWL_STYLE)));
  std::printf("dpi %u\n", GetDpiForWindow(window));
  std::printf("zoomed %d\n", IsZoomed(window) ? 1 : 0);
  return 0;
}

int printMenu() {
  HWND menu = FindWindowW(kMenuClassName, nullptr);
  if (menu == nullptr || !IsWindowVisible(menu)) {
    std::printf("menu none\n");
    return 1;
  }
  RECT r{};
  GetWindowRect(menu, &r);
  printRect("menu", r);
  return 0;
}

// 0x00RRGGBB words, top row first, as the core's frames and a 32-bit DIB
// section both hold them.
int writePpm(const char* path, int width, int height, const std::uint32_t* pixels) {
  FILE* file = std::fopen(path, "wb");
  if (file == nullptr) return 1;
  std::fprintf(file, "P6\n%d %d\n255\n", width, height);
  for (std::size_t i = 0; i < static_cast<std::size_t>(width) * static_cast<std::size_t>(height); ++i) {
    const std::uint32_t word = pixels[i];
    const unsigned char rgb[3] = {static_cast<unsigned char>(word >> 16), static_cast<unsigned char>(word >> 8),
                                  static_cast<unsigned char>(word)};
    std::fwrite(rgb, 1, sizeof rgb, file);
  }
  return std::fclose(file) == 0 ? 0 : 1;
}

int writeReference(const char* escaped, const char* path) {
  std::string text;
  for (const char* c = escaped; *c != '\0'; ++c) {
    if (c[0] == '\\' && c[1] == 'n') {
      text += '\n';
      ++c;
    } else {
      text += *c;
    }
  }
  auto frame = std::make_unique<pelmora::OutputFrame>();
  frame->fill(0);
  pelmora::drawStatusScreen(*frame, text.data(), text.size(), false);
  return writePpm(path, pelmora::kCanvasWidth, pelmora::kCanvasHeight, frame->data());
}

// What the window itself draws, not the screen's pixels where it stands:
// another window, a screen saver or a locked session cannot get in the way.
int writeCapture(HWND window, const char* path) {
  RECT client{};
  GetClientRect(window, &client);
  const int width = client.right - client.left;
  const int height = client.bottom - client.top;
  if (width <= 0 || height <= 0) return 1;
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HDC dc = CreateCompatibleDC(nullptr);
  int result = 1;
  if (bitmap != nullptr && dc != nullptr) {
    HGDIOBJ previous = SelectObject(dc, bitmap);
    if (PrintWindow(window, dc, PW_CLIENTONLY | kRenderFullContent)) {
      GdiFlush();
      result = writePpm(path, width, height, static_cast<const std::uint32_t*>(bits));
    }
    SelectObject(dc, previous);
  }
  if (dc != nullptr) DeleteDC(dc);
  if (bitmap != nullptr) DeleteObject(bitmap);
  return result;
}

long number(const char* text) { return std::strtol(text, nullptr, 0); }

// The message carries a pointer into the window's own process, where the
// SIZE it answers in has to live.
int askDpiScaledSize(HWND window, UINT dpi) {
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, processId);
  if (process == nullptr) return 1;
  void* remote = VirtualAllocEx(process, nullptr, sizeof(SIZE), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  SIZE size{0, 0};
  const bool ready = remote != nullptr && WriteProcessMemory(process, remote, &size, sizeof size, nullptr);
  const LRESULT answer = ready ? SendMessageW(window, WM_GETDPISCALEDSIZE, dpi, reinterpret_cast<LPARAM>(remote)) : 0;
  const bool read = ready && ReadProcessMemory(process, remote, &size, sizeof size, nullptr);
  if (remote != nullptr) VirtualFreeEx(process, remote, 0, MEM_RELEASE);
  CloseHandle(process);
  if (!read) return 1;
  std::printf("dpisize %d %ld %ld\n", static_cast<int>(answer), size.cx, size.cy);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // The probe measures physical pixels, like the program it looks at.
  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "reference" && argc == 4) return writeReference(argv[2], argv[3]);
  if (command == "menu") return printMenu();
  if (command == "find" && argc == 3) {
    const DWORD limit = GetTickCount() + static_cast<DWORD>(number(argv[2]) * 1000);
    HWND window;
    while ((window = findWindow()) == nullptr || !IsWindowVisible(window)) {
      if (static_cast<LONG>(GetTickCount() - limit) > 0) return 1;
      Sleep(100);
    }
    return printInfo(window);
  }
  HWND window = findWindow();
  if (window == nullptr) {
    std::fprintf(stderr, "window_probe: no window\n");
    return 1;
  }
  if (command == "info") return printInfo(window);
  if (command == "post" && argc == 5) {
    return PostMessageW(window, static_cast<UINT>(number(argv[2])), static_cast<WPARAM>(number(argv[3])),
                        static_cast<LPARAM>(number(argv[4])))
               ? 0
               : 1;
  }
  if (command == "move" && argc == 4) {
    return SetWindowPos(window, nullptr, static_cast<int>(number(argv[2])), static_cast<int>(number(argv[3])), 0, 0,
                        SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE)
               ? 0
               : 1;
  }
  if (command == "dpisize" && argc == 3) return askDpiScaledSize(window, static_cast<UINT>(number(argv[2])));
  if (command == "capture" && argc == 3) return writeCapture(window, argv[2]);
  std::fprintf(stderr, "usage: window_probe find SECONDS | info | menu | post MSG WPARAM LPARAM | move X Y | "
                       "dpisize DPI | reference TEXT FILE | capture FILE\n");
  return 2;
}
