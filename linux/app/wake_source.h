#pragma once
// A main-loop source that any thread may mark ready. The main loop then runs
// its handler once, however many wakes came in between, and otherwise never
// wakes for it: no timer, no polling. Waking allocates nothing and takes no
// lock of the main loop's: a waker holding the loop's lock as it wakes it
// would send the woken loop straight back to sleep, waiting for that lock.
#include <glib.h>

#include <atomic>
#include <functional>

namespace pelmora::app {

// What the source is called in the main loop (for profilers and debuggers).
inline constexpr char kWakeSourceName[] = "pelmora wake";

class WakeSource {
 public:
  // Attached to `context` (null: the default main context) until destroyed.
  WakeSource(GMainContext* context, std::function<void()> handler);
  ~WakeSource();
  WakeSource(const WakeSource&) = delete;
  WakeSource& operator=(const WakeSource&) = delete;

  // Safe from any thread, as long as this object lives.
  void wake();

 private:
  static gboolean dispatch(GSource* source, GSourceFunc, gpointer);
  void takeWake();

  GSource* source_ = nullptr;
  int eventFd_ = -1;  // without one, the loop is woken through the source's ready time
  std::atomic<bool> pending_{false};
  std::function<void()> handler_;
};

}  // namespace pelmora::app
