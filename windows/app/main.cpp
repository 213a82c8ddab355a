// The Windows program's entry: one window showing one device's LCD, one
// worker thread running the core for it.
#include <windows.h>
#include <dbt.h>
#include <dwmapi.h>

#include <memory>
#include <string>
#include <type_traits>

extern "C" {
#include <hidsdi.h>
}

#include "host/window_title.h"
#include "trace/trace_recording.h"
#include "windows/app/app_state.h"
#include "windows/app/command_line.h"
#include "windows/app/connection_thread.h"
#include "windows/app/replay_thread.h"
#include "windows/app/resource_ids.h"
#include "windows/app/window_messages.h"
#include "windows/app/window_procedure.h"
#include "windows/app/window_sizing.h"

namespace {

using namespace pelmora::winapp;

static_assert(std::is_same_v<Handle, HANDLE> && std::is_same_v<Handle, HDEVNOTIFY>,
              "AppState keeps the system's handles as they are");

constexpr DWORD kWorkerShutdownWaitMs = 1900;
// The corner preference and its "do not round" value, from newer SDKs.
constexpr DWORD kDwmWindowCornerPreference = 33;
constexpr DWORD kDwmCornerDoNotRound = 1;

bool registerWindowClass(HINSTANCE instance) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = windowProcedure;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kAppIconId), IMAGE_ICON,
                                                    GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON),
                                                    LR_SHARED));
  windowClass.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kAppIconId), IMAGE_ICON,
                                                      GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                                      LR_SHARED));
  windowClass.lpszClassName = kWindowClassName;
  return RegisterClassExW(&windowClass) != 0;
}

HWND createMainWindow(HINSTANCE instance, AppState& state) {
  const SIZE size = windowSizeFor(state.scale, GetDpiForSystem());
  const std::u16string title = pelmora::host::windowTitle({});  // no device yet
  return CreateWindowExW(kWindowExStyle, kWindowClassName, reinterpret_cast<const wchar_t*>(title.c_str()),
                         kWindowStyle, CW_USEDEFAULT, CW_USEDEFAULT, size.cx, size.cy, nullptr, nullptr, instance,
                         &state);
}

void closeEvents(AppState& state) {
  for (Handle* event : {&state.stopEvent, &state.wakeEvent, &state.resumeEvent}) {
    if (*event != nullptr) CloseHandle(*event);
    *event = nullptr;
  }
}

bool createEvents(AppState& state) {
  state.stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  state.wakeEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  state.resumeEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  return state.stopEvent != nullptr && state.wakeEvent != nullptr && state.resumeEvent != nullptr;
}

// Without it, arrivals are still found by the worker's own periodic search.
void registerForHidArrivals(HWND window, AppState& state) {
  DEV_BROADCAST_DEVICEINTERFACE_W filter{};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  HidD_GetHidGuid(&filter.dbcc_classguid);
  state.deviceNotification = RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

void showFirstTime(HWND window, int showCommand) {
  ShowWindow(window, firstShowCommand(showCommand));
  // The first ShowWindow takes the launching shortcut's show state instead
  // of ours, so a shortcut set to "maximised" would still zoom the fixed-size
  // window around its picture.
  if (IsZoomed(window)) ShowWindow(window, SW_RESTORE);
}

int runMessageLoop() {
  MSG message;
  BOOL result;
  while ((result = GetMessageW(&message, nullptr, 0, 0)) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return result == -1 ? 1 : static_cast<int>(message.wParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand) {
  const pelmora::host::ProgramOptions options = commandLineOptions();
  if (int exitCode = 0; answerCommandLine(options, exitCode)) return exitCode;
  auto state = std::make_unique<AppState>();
  state->demo = options.demo;
  state->scale = options.scale != 0 ? options.scale : firstScaleForScreen();
  drawStartupFrame(*state);
  // A file that cannot be written is said once the window is up, and the
  // program runs as it would without the option.
  std::unique_ptr<pelmora::trace::ProgramRecording> recording;
  if (!options.recordPath.empty()) recording = std::make_unique<pelmora::trace::ProgramRecording>(options.recordPath);
  state->recording = recording.get();
  // Read by the worker, so never destroyed before it has ended.
  pelmora::trace::Recording replay;
  if (!options.replayPath.empty()) {
    if (int exitCode = 0; !loadReplay(options.replayPath, replay, exitCode)) return exitCode;
    state->replay = &replay;
    publishReplayLabel(*state, replayTitleLabel(options.replayPath, replay));
  }

  if (!registerWindowClass(instance)) return 1;
  HWND window = createMainWindow(instance, *state);
  if (window == nullptr) return 1;

  const DWORD corners = kDwmCornerDoNotRound;
  DwmSetWindowAttribute(window, kDwmWindowCornerPreference, &corners, sizeof corners);

  RECT rect{};
  GetWindowRect(window, &rect);
  resizeWindow(window, state->scale, GetDpiForWindow(window), {rect.left, rect.top});

  if (!createEvents(*state)) {
    DestroyWindow(window);
    closeEvents(*state);
    return 1;
  }
  registerForHidArrivals(window, *state);
  state->window = window;

  state->workerThread = CreateThread(nullptr, 0, state->replay ? ReplayThread : ConnectionThread, state.get(), 0, nullptr);
  if (state->workerThread == nullptr) {
    DestroyWindow(window);
    closeEvents(*state);
    return 1;
  }
  SetTimer(window, kFrameTimerId, kFrameTimerMs, nullptr);
  showFirstTime(window, showCommand);

  const int exitCode = runMessageLoop();

  SetEvent(state->stopEvent);
  if (WaitForSingleObject(state->workerThread, kWorkerShutdownWaitMs) != WAIT_OBJECT_0) {
    // The worker still uses AppState; end everything at once, with the
    // recording's queue written.
    if (recording) recording->finish();
    ExitProcess(0);
  }
  CloseHandle(state->workerThread);
  closeEvents(*state);
  return exitCode;
}
