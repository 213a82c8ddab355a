#include "windows/app/window_procedure.h"

#include <string>

#include "host/menu_commands.h"
#include "trace/trace_recording.h"
#include "windows/app/app_state.h"
#include "windows/app/context_menu.h"
#include "windows/app/menu_model.h"
#include "windows/app/painting.h"
#include "windows/app/picture_export.h"
#include "windows/app/text_encoding.h"
#include "windows/app/window_messages.h"
#include "windows/app/window_sizing.h"

namespace pelmora::winapp {
namespace {

// Null until WM_NCCREATE: a few messages (WM_GETMINMAXINFO) come before it.
AppState* appStateOf(HWND window) { return reinterpret_cast<AppState*>(GetWindowLongPtrW(window, GWLP_USERDATA)); }

POINT windowTopLeft(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return {rect.left, rect.top};
}

void onDestroy(HWND window, AppState* state) {
  if (state != nullptr) {
    if (state->stopEvent != nullptr) SetEvent(state->stopEvent);
    if (state->deviceNotification != nullptr) {
      UnregisterDeviceNotification(state->deviceNotification);
      state->deviceNotification = nullptr;
    }
  }
  KillTimer(window, kFrameTimerId);
  KillTimer(window, kNoticeTimerId);
  PostQuitMessage(0);
}

void onPaint(HWND window, AppState* state) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  if (dc != nullptr && state != nullptr) paintFrame(dc, *state);
  EndPaint(window, &paint);
}

void setTitle(HWND window, const std::u16string& title) {
  SetWindowTextW(window, reinterpret_cast<const wchar_t*>(title.c_str()));
}

// The notice follows the serial in the title for a few seconds.
void showNotice(HWND window, AppState& state, std::u16string notice) {
  state.notice = std::move(notice);
  setTitle(window, currentTitle(state));
  SetTimer(window, kNoticeTimerId, kNoticeMs, nullptr);
}

void endNotice(HWND window, AppState* state) {
  KillTimer(window, kNoticeTimerId);
  if (state == nullptr || state->notice.empty()) return;
  state->notice.clear();
  setTitle(window, currentTitle(*state));
}

std::u16string utf16(const std::wstring& text) { return {text.begin(), text.end()}; }

// The picture as it is shown now, at the window's scale.
void exportPicture(HWND window, AppState& state, host::MenuAction action) {
  const OutputFrame* frame = &state.painted;
  const MenuTexts& texts = menuTexts(userLanguage());
  if (action == host::MenuAction::CopyPicture) {
    if (copyPictureToClipboard(window, *frame, state.scale)) showNotice(window, state, texts.copiedNotice);
    return;
  }
  std::wstring path;
  std::string error;
  if (savePictureInPictures(*frame, state.scale, path, error)) {
    showNotice(window, state, texts.savedNotice + utf16(path));
  } else {
    showNotice(window, state, texts.notSavedNotice + utf16(wideFromUtf8(error)));
  }
}

void onCommand(HWND window, AppState* state, int command) {
  const host::MenuChoice choice = host::menuChoice(command);
  switch (choice.action) {
    case host::MenuAction::SetScale:
      if (state == nullptr) return;
      state->scale = choice.scale;
      resizeWindow(window, state->scale, GetDpiForWindow(window), windowTopLeft(window));
      return;
    case host::MenuAction::ToggleTopmost:
      toggleTopmost(window);
      return;
    case host::MenuAction::CopyPicture:
    case host::MenuAction::SavePicture:
      if (state != nullptr) exportPicture(window, *state, choice.action);
      return;
    case host::MenuAction::Exit:
      DestroyWindow(window);
      return;
    case host::MenuAction::None:
      return;
  }
}

// A recording that fails is said once, over the window: nobody reads the
// standard error of a program started from a shortcut.
void tellRecordingFailure(HWND window, trace::ProgramRecording& recording) {
  const std::string failure = recording.takeFailure();
  if (failure.empty()) return;
  // The reason may name the path, which may hold any letters: UTF-8 to UTF-16.
  const std::string text = "Recording failed: " + failure;
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length > 0 ? length : 1), L'\0');
  if (length > 0) MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), length);
  MessageBoxW(window, wide.c_str(), L"Pelmora", MB_OK | MB_ICONWARNING);
}

void onTimer(HWND window, AppState* state) {
  if (state == nullptr) return;
  if (state->recording) tellRecordingFailure(window, *state->recording);
  const TimerUpdate update = takeTimerUpdate(*state);
  if (update.retitle) SetWindowTextW(window, reinterpret_cast<const wchar_t*>(update.title.c_str()));
  if (update.repaint) InvalidateRect(window, nullptr, FALSE);
}

void onFrameReady(HWND window, AppState* state) {
  if (state == nullptr || !takePostedFrame(*state)) return;
  InvalidateRect(window, nullptr, FALSE);
  UpdateWindow(window);
}

// Pressing the button anywhere on the picture drags the window, as the
// caption would.
void startDrag(HWND window, LPARAM lParam) {
  const host::Point client = pointFromLParam(lParam);
  POINT screen{client.x, client.y};
  if (!ClientToScreen(window, &screen)) return;
  ReleaseCapture();
  SendMessageW(window, WM_NCLBUTTONDOWN, HTCAPTION, lParamFromPoint({screen.x, screen.y}));
}

}  // namespace

LRESULT CALLBACK windowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  AppState* state = appStateOf(window);
  switch (message) {
    case WM_NCCREATE: {
      const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
      return DefWindowProcW(window, message, wParam, lParam);
    }
    case WM_DESTROY:
      onDestroy(window, state);
      return 0;
    case WM_PAINT:
      onPaint(window, state);
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the picture covers the whole client area
    case WM_PRINTCLIENT:
      if (state != nullptr) paintFrame(reinterpret_cast<HDC>(wParam), *state);
      return 0;
    case WM_CONTEXTMENU:
      if (state != nullptr) showContextMenu(window, *state, lParam);
      return 0;
    case WM_COMMAND:
      onCommand(window, state, LOWORD(wParam));
      return 0;
    case WM_SYSCOMMAND:
      if (isSwallowedSysCommand(wParam)) return 0;
      return DefWindowProcW(window, message, wParam, lParam);
    case WM_TIMER:
      if (wParam == kFrameTimerId) onTimer(window, state);
      if (wParam == kNoticeTimerId) endNotice(window, state);
      return 0;
    case WM_KEYDOWN:
      if (const int command = pictureKeyCommand(wParam, GetKeyState(VK_CONTROL) < 0,
                                                GetKeyState(VK_SHIFT) < 0 || GetKeyState(VK_MENU) < 0)) {
        onCommand(window, state, command);
        return 0;
      }
      return DefWindowProcW(window, message, wParam, lParam);
    case kFrameReadyMessage:
      onFrameReady(window, state);
      return 0;
    case WM_LBUTTONDOWN:
      startDrag(window, lParam);
      return 0;
    case WM_POWERBROADCAST:
      if (isResumeBroadcast(wParam) && state != nullptr && state->resumeEvent != nullptr) {
        SetEvent(state->resumeEvent);
        if (state->wakeEvent != nullptr) SetEvent(state->wakeEvent);
      }
      return TRUE;
    case WM_DEVICECHANGE:
      if (state != nullptr && state->wakeEvent != nullptr) SetEvent(state->wakeEvent);
      return 0;
    case WM_GETDPISCALEDSIZE:
      if (state == nullptr) return FALSE;
      *reinterpret_cast<SIZE*>(lParam) = windowSizeFor(state->scale, static_cast<UINT>(wParam));
      return TRUE;
    case WM_DPICHANGED: {
      const auto* suggested = reinterpret_cast<const RECT*>(lParam);
      if (state != nullptr) resizeWindow(window, state->scale, HIWORD(wParam), {suggested->left, suggested->top});
      return 0;
    }
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

}  // namespace pelmora::winapp
