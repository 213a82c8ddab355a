#include "linux/app/resume_monitor.h"

#include <utility>

namespace pelmora::app {
namespace {
constexpr const char* kLoginService = "org.freedesktop.login1";
constexpr const char* kLoginManager = "org.freedesktop.login1.Manager";
constexpr const char* kLoginPath = "/org/freedesktop/login1";
constexpr const char* kSleepSignal = "PrepareForSleep";
}  // namespace

// The bus request may finish after the monitor is gone; it carries its own
// reference to the cancellable so it can tell without touching the monitor.
struct ResumeMonitor::PendingBus {
  GCancellable* cancellable;
  ResumeMonitor* monitor;
};

ResumeMonitor::ResumeMonitor(std::function<void()> onResume, GBusType bus)
    : onResume_(std::move(onResume)), cancellable_(g_cancellable_new()) {
  // Asynchronous, so that a slow or missing bus never delays the window.
  auto* pending = new PendingBus{G_CANCELLABLE(g_object_ref(cancellable_)), this};
  g_bus_get(bus, cancellable_, &ResumeMonitor::onBusReady, pending);
}

ResumeMonitor::~ResumeMonitor() {
  g_cancellable_cancel(cancellable_);
  if (bus_) {
    if (subscription_) g_dbus_connection_signal_unsubscribe(bus_, subscription_);
    g_object_unref(bus_);
  }
  g_object_unref(cancellable_);
}

void ResumeMonitor::onBusReady(GObject*, GAsyncResult* result, gpointer data) {
  auto* pending = static_cast<PendingBus*>(data);
  GError* error = nullptr;
  GDBusConnection* bus = g_bus_get_finish(result, &error);
  if (error) g_error_free(error);  // no system bus: resumes go unnoticed
  const bool gone = g_cancellable_is_cancelled(pending->cancellable);
  ResumeMonitor* monitor = pending->monitor;
  g_object_unref(pending->cancellable);
  delete pending;
  if (!bus) return;
  if (gone) {
    g_object_unref(bus);
    return;
  }
  monitor->bus_ = bus;
  monitor->subscription_ = g_dbus_connection_signal_subscribe(
      bus, kLoginService, kLoginManager, kSleepSignal, kLoginPath, nullptr,
      G_DBUS_SIGNAL_FLAGS_NONE, &ResumeMonitor::onSignal, monitor, nullptr);
}

void ResumeMonitor::onSignal(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                             const gchar*, GVariant* parameters, gpointer self) {
  if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(b)"))) return;
  gboolean goingToSleep = TRUE;
  g_variant_get(parameters, "(b)", &goingToSleep);
  if (!goingToSleep) static_cast<ResumeMonitor*>(self)->onResume_();
}

}  // namespace pelmora::app
