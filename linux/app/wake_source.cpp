#include "linux/app/wake_source.h"

#include <utility>

namespace pelmora::app {
namespace {

// GLib allocates the source with room for this record behind it.
struct OwnedSource {
  GSource base;
  WakeSource* owner;
};

constexpr gint64 kNotReady = -1;
constexpr gint64 kReadyNow = 0;

}  // namespace

WakeSource::WakeSource(GMainContext* context, std::function<void()> handler) : handler_(std::move(handler)) {
  static GSourceFuncs funcs = {nullptr, nullptr, &WakeSource::dispatch, nullptr, nullptr, nullptr};
  source_ = g_source_new(&funcs, sizeof(OwnedSource));
  reinterpret_cast<OwnedSource*>(source_)->owner = this;
  g_source_set_name(source_, kWakeSourceName);
  g_source_set_ready_time(source_, kNotReady);
  g_source_attach(source_, context);
}

WakeSource::~WakeSource() {
  g_source_destroy(source_);
  g_source_unref(source_);
}

// A ready time of 0 makes the source ready at once and, when the loop runs
// on another thread, wakes that loop.
void WakeSource::wake() { g_source_set_ready_time(source_, kReadyNow); }

gboolean WakeSource::dispatch(GSource* source, GSourceFunc, gpointer) {
  // Re-armed before the handler runs, so a wake that arrives during it is
  // not lost.
  g_source_set_ready_time(source, kNotReady);
  reinterpret_cast<OwnedSource*>(source)->owner->handler_();
  return G_SOURCE_CONTINUE;
}

}  // namespace pelmora::app
