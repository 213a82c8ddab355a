// What the Windows program's two clocks give on the system it runs on: the
// window's 17 ms frame timer (SetTimer, WM_TIMER) and the session loop's
// idle pause (a 1 ms WaitForMultipleObjects on the stop and wake events),
// beside Sleep(1). Prints the mean, least and greatest interval of each.
// Not part of any build; docs/windows.md says how it is built and run.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr UINT kFrameTimerMs = 17;
constexpr int kSamples = 200;

double nowMs() {
  static LARGE_INTEGER frequency{};
  if (frequency.QuadPart == 0) QueryPerformanceFrequency(&frequency);
  LARGE_INTEGER count;
  QueryPerformanceCounter(&count);
  return 1000.0 * static_cast<double>(count.QuadPart) / static_cast<double>(frequency.QuadPart);
}

void report(const char* what, const std::vector<double>& intervals) {
  double sum = 0;
  for (const double v : intervals) sum += v;
  std::printf("%-34s mean %6.2f ms  least %6.2f  greatest %6.2f  (%zu samples)\n", what,
              sum / static_cast<double>(intervals.size()), *std::min_element(intervals.begin(), intervals.end()),
              *std::max_element(intervals.begin(), intervals.end()), intervals.size());
}

std::vector<double> timerIntervals() {
  std::vector<double> intervals;
  const UINT_PTR timer = SetTimer(nullptr, 0, kFrameTimerMs, nullptr);
  double last = nowMs();
  MSG message;
  while (intervals.size() < kSamples && GetMessageW(&message, nullptr, 0, 0) > 0) {
    if (message.message != WM_TIMER) continue;
    const double t = nowMs();
    intervals.push_back(t - last);
    last = t;
  }
  KillTimer(nullptr, timer);
  return intervals;
}

template <typename Pause>
std::vector<double> pauseDurations(Pause pause) {
  std::vector<double> durations;
  for (int i = 0; i < kSamples * 5; ++i) {
    const double t = nowMs();
    pause();
    durations.push_back(nowMs() - t);
  }
  return durations;
}

}  // namespace

int main() {
  HANDLE events[2] = {CreateEventW(nullptr, TRUE, FALSE, nullptr), CreateEventW(nullptr, FALSE, FALSE, nullptr)};
  report("SetTimer 17 ms, WM_TIMER interval", timerIntervals());
  report("wait(1): WaitForMultipleObjects", pauseDurations([&events] { WaitForMultipleObjects(2, events, FALSE, 1); }));
  report("Sleep(1)", pauseDurations([] { Sleep(1); }));
  CloseHandle(events[0]);
  CloseHandle(events[1]);
  return 0;
}
