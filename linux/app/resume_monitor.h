#pragma once
// Tells the program when the system wakes from sleep, from the login
// manager's PrepareForSleep(false) signal on the system bus. Without a
// system bus (containers, minimal sessions) it stays silent.
#include <gio/gio.h>

#include <functional>

namespace pelmora::app {

class ResumeMonitor {
 public:
  // `bus` is the system bus except in tests.
  explicit ResumeMonitor(std::function<void()> onResume, GBusType bus = G_BUS_TYPE_SYSTEM);
  ~ResumeMonitor();
  ResumeMonitor(const ResumeMonitor&) = delete;
  ResumeMonitor& operator=(const ResumeMonitor&) = delete;

  // True once the bus answered and the signal is subscribed.
  bool listening() const { return subscription_ != 0; }

 private:
  struct PendingBus;
  static void onBusReady(GObject* source, GAsyncResult* result, gpointer data);
  static void onSignal(GDBusConnection* connection, const gchar* sender, const gchar* path,
                       const gchar* interface, const gchar* signal, GVariant* parameters,
                       gpointer self);

  std::function<void()> onResume_;
  GCancellable* cancellable_ = nullptr;
  GDBusConnection* bus_ = nullptr;
  guint subscription_ = 0;
};

}  // namespace pelmora::app
