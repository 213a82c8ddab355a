#include "linux/app/wake_source.h"

#include <sys/eventfd.h>
#include <unistd.h>

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
  eventFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  // The loop polls the descriptor; a source with nothing but descriptors is
  // ready when one of them is.
  if (eventFd_ >= 0) g_source_add_unix_fd(source_, eventFd_, G_IO_IN);
  g_source_attach(source_, context);
}

WakeSource::~WakeSource() {
  g_source_destroy(source_);
  g_source_unref(source_);
  if (eventFd_ >= 0) close(eventFd_);
}

// Only the first wake since the handler last ran writes: the rest find the
// loop already woken.
void WakeSource::wake() {
  if (pending_.exchange(true)) return;
  if (eventFd_ < 0) {
    // A ready time of 0 makes the source ready at once and, when the loop
    // runs on another thread, wakes that loop (under the loop's lock).
    g_source_set_ready_time(source_, kReadyNow);
    return;
  }
  eventfd_write(eventFd_, 1);
}

// Cleared before the handler runs, so a wake that arrives during it is not
// lost: it writes again and the loop runs the handler once more.
void WakeSource::takeWake() {
  pending_.store(false);
  if (eventFd_ < 0) {
    g_source_set_ready_time(source_, kNotReady);
    return;
  }
  eventfd_t count = 0;
  eventfd_read(eventFd_, &count);
}

gboolean WakeSource::dispatch(GSource* source, GSourceFunc, gpointer) {
  WakeSource* self = reinterpret_cast<OwnedSource*>(source)->owner;
  self->takeWake();
  self->handler_();
  return G_SOURCE_CONTINUE;
}

}  // namespace pelmora::app
