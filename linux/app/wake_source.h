#pragma once
// A main-loop source that any thread may mark ready. The main loop then runs
// its handler once, however many wakes came in between, and otherwise never
// wakes for it: no timer, no polling. Waking allocates nothing.
#include <glib.h>

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

  GSource* source_ = nullptr;
  std::function<void()> handler_;
};

}  // namespace pelmora::app
