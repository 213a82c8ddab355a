// The whole program's frame path, measured in place: the real window on the
// simulated synthesizer (real clock), in whatever X display is open. Run by
// hand (see docs/benchmarks.md); it prints one block of figures.
//
//   window_bench [seconds=30] [cycle|picture] [scale=1]
//
// Per displayed frame it takes the GUI thread's CPU time from its wake-up
// (the moment the main loop dispatches the window's wake source) to the end
// of the window's draw: the flush of the requests that show the frame where
// the picture goes straight to the X server, else the end of the toolkit's
// draw. Beside it the time from the last input report of the newest message
// to the end of that draw, and to the server having finished reading the
// frame. Beside them: the clear-and-copy
// floor measured in this process, the worker's CPU per render, and how many
// renders were never shown. With "picture", the synthesizer stays on its
// picture page, where every image row is a render.
//
// The wake-ups are observed by wrapping the wake source's descriptor writes
// (from the worker) and reads (the main loop's dispatch), or, where it has
// no descriptor, g_source_set_ready_time; the reports by a transport that
// passes them on.
#include <dlfcn.h>
#include <gtk/gtk.h>
#include <pthread.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <functional>
#include <vector>

#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include "bench/clear_and_copy.h"
#include "bridge/session_bridge.h"
#include "core/protocol/wire_format.h"
#include "linux/app/lcd_window.h"
#include "linux/app/wake_source.h"
#include "sim/forwarding_transport.h"
#include "sim/sim_bus.h"
#include "sim/virtual_clock.h"

// Last: Xlib's macros (None, Status, ...) would clash with names above.
#include <X11/Xlib.h>
#include <X11/extensions/XShm.h>
#include <gdk/gdkx.h>

namespace {

using Clock = std::chrono::steady_clock;

std::int64_t wallNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

std::int64_t cpuNs(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// ---- Worker side ------------------------------------------------------------
// Written and read on the worker thread only, until published below.
std::int64_t gLastMessageEndNs = 0;
// The stamp of the newest stored frame, published right after it was stored.
std::atomic<std::int64_t> gStoredStampNs{0};
std::atomic<std::uint64_t> gStored{0};
std::atomic<bool> gWorkerClockKnown{false};
clockid_t gWorkerClock{};

// Notes when an input report ends a stream message: a render follows it at
// once on the same thread.
class StampingTransport final : public pelmora::sim::ForwardingTransport {
 public:
  using ForwardingTransport::ForwardingTransport;
  bool readReport(std::uint8_t* report, bool& received) override {
    const bool ok = inner_->readReport(report, received);
    if (ok && received && report[pelmora::kFragmentKindOffset] != static_cast<std::uint8_t>(pelmora::MessageKind::Response) &&
        report[pelmora::kFragmentIndexOffset] + 1 == report[pelmora::kFragmentCountOffset]) {
      gLastMessageEndNs = wallNs();
    }
    return ok;
  }
};

// ---- GUI side ---------------------------------------------------------------
std::atomic<bool> gMeasuring{false};
bool gWokenSinceDraw = false;
std::int64_t gWakeCpuNs = 0;
std::int64_t gTakenStampNs = 0;
std::vector<double> gFrameCpuUs;
// The program's own share of it: the wake handler (from dispatch until it
// has queued the redraw) and the picture's paint in the draw handler.
bool gInWakeHandler = false;
std::int64_t gHandlerStartNs = 0;
std::int64_t gOwnCpuNs = 0;
std::vector<double> gOwnCpuUs;
std::int64_t gPaintCpuNs = 0;
std::vector<double> gPaintCpuUs;
// Within the wake handler: the toolkit's redraw request, and the wait for
// cairo (and the X server) to be done with the picture before it is replaced.
std::int64_t gRequestCpuNs = 0;
std::int64_t gFlushCpuNs = 0;
std::vector<double> gRequestCpuUs;
std::vector<double> gFlushCpuUs;
// From the end of that flush to the picture being marked changed: the take.
std::int64_t gFlushEndNs = 0;
std::int64_t gTakeCpuNs = 0;
std::vector<double> gTakeCpuUs;
std::vector<double> gLatencyToTakeMs;
std::vector<double> gLatencyToDrawMs;
std::vector<double> gLatencyToServerMs;
std::uint64_t gWakeUps = 0;
// The picture straight through the X server: a frame is shown by a shared
// memory upload and a flush, and the server reports when it has read it.
bool gUploaded = false;
std::uint64_t gUploads = 0;
std::uint64_t gUploadsOnCompletion = 0;  // shown when the server finished with the last
std::int64_t gUploadStampNs = 0;
int gCompletionType = -1;
std::vector<double> gServerFlushCpuUs;  // sending the frame's requests, which wakes the server

bool isWakeSource(GSource* source) {
  const char* name = g_source_get_name(source);
  return name && std::strcmp(name, pelmora::app::kWakeSourceName) == 0;
}

void onWorkerWake() {
  if (!gWorkerClockKnown.load(std::memory_order_relaxed)) {
    pthread_getcpuclockid(pthread_self(), &gWorkerClock);
    gWorkerClockKnown = true;
  }
  gStoredStampNs.store(gLastMessageEndNs);
  ++gStored;
}

void onDispatch() {
  if (!gMeasuring) return;
  ++gWakeUps;
  const std::int64_t now = cpuNs(CLOCK_THREAD_CPUTIME_ID);
  if (!gWokenSinceDraw) {
    gWakeCpuNs = now;
    gOwnCpuNs = 0;
    gPaintCpuNs = 0;
    gRequestCpuNs = 0;
    gFlushCpuNs = 0;
    gTakeCpuNs = 0;
  }
  gWokenSinceDraw = true;
  gTakenStampNs = gStoredStampNs.load();
  gLatencyToTakeMs.push_back(static_cast<double>(wallNs() - gTakenStampNs) / 1e6);
  gInWakeHandler = true;
  gHandlerStartNs = cpuNs(CLOCK_THREAD_CPUTIME_ID);
}

void endOfFrame() {
  gWokenSinceDraw = false;
  gFrameCpuUs.push_back(static_cast<double>(cpuNs(CLOCK_THREAD_CPUTIME_ID) - gWakeCpuNs) / 1e3);
  gOwnCpuUs.push_back(static_cast<double>(gOwnCpuNs + gPaintCpuNs) / 1e3);
  gPaintCpuUs.push_back(static_cast<double>(gPaintCpuNs) / 1e3);
  gRequestCpuUs.push_back(static_cast<double>(gRequestCpuNs) / 1e3);
  gFlushCpuUs.push_back(static_cast<double>(gFlushCpuNs) / 1e3);
  gTakeCpuUs.push_back(static_cast<double>(gTakeCpuNs) / 1e3);
  gLatencyToDrawMs.push_back(static_cast<double>(wallNs() - gTakenStampNs) / 1e6);
}

gboolean onWindowDrawn(GtkWidget*, cairo_t*, gpointer) {
  if (gMeasuring && gWokenSinceDraw) endOfFrame();
  return FALSE;
}

// Added before the window's own filter, so it sees the server's "finished
// reading" first and passes it on.
GdkFilterReturn onXEvent(GdkXEvent* xevent, GdkEvent*, gpointer) {
  if (gMeasuring && static_cast<const XEvent*>(xevent)->type == gCompletionType) {
    gLatencyToServerMs.push_back(static_cast<double>(wallNs() - gUploadStampNs) / 1e6);
  }
  return GDK_FILTER_CONTINUE;
}

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

// The least a frame can cost, on this thread, now: clear a canvas and copy
// an output frame (median of many).
double clearAndCopyUs() {
  auto canvas = std::make_unique<pelmora::LcdCanvas>();
  auto from = std::make_unique<pelmora::OutputFrame>();
  auto to = std::make_unique<pelmora::OutputFrame>();
  from->fill(0x123456);
  std::vector<double> runs;
  for (int i = 0; i < 2000; ++i) {
    const std::int64_t t0 = cpuNs(CLOCK_THREAD_CPUTIME_ID);
    pelmora::bench::clearAndCopy(*canvas, *from, *to);
    runs.push_back(static_cast<double>(cpuNs(CLOCK_THREAD_CPUTIME_ID) - t0) / 1e3);
  }
  return percentile(runs, 0.5);
}

// The least it costs to tell another process something, on this thread,
// now: a small write to a process that has been asleep for one frame period
// on the other end of a socket, as every frame's requests wake the X server
// (median of many). On a virtual machine this grows with the time the
// sleeper slept.
class WakeFloor {
 public:
  WakeFloor() {
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, ends_) != 0) return;
    child_ = fork();
    if (child_ == 0) {
      close(ends_[0]);
      char sink[256];
      while (read(ends_[1], sink, sizeof sink) > 0) {
      }
      _exit(0);
    }
    close(ends_[1]);
  }
  ~WakeFloor() {
    close(ends_[0]);
    if (child_ > 0) waitpid(child_, nullptr, 0);
  }
  double measureUs() {
    if (child_ <= 0) return 0;
    std::vector<double> runs;
    const char message[32] = {};
    for (int i = 0; i < kSamples; ++i) {
      std::this_thread::sleep_for(kFramePeriod);
      const std::int64_t t0 = cpuNs(CLOCK_THREAD_CPUTIME_ID);
      if (write(ends_[0], message, sizeof message) != static_cast<ssize_t>(sizeof message)) return 0;
      runs.push_back(static_cast<double>(cpuNs(CLOCK_THREAD_CPUTIME_ID) - t0) / 1e3);
    }
    return percentile(runs, 0.5);
  }

 private:
  static constexpr int kSamples = 60;
  static constexpr std::chrono::milliseconds kFramePeriod{33};
  int ends_[2] = {-1, -1};
  pid_t child_ = -1;
};

GtkWidget* theWindow() {
  GList* all = gtk_window_list_toplevels();
  GtkWidget* found = all ? GTK_WIDGET(all->data) : nullptr;
  g_list_free(all);
  return found;
}

}  // namespace

pthread_t gGuiThread;

// The end of the wake handler's work: it queues the redraw last.
extern "C" void gtk_widget_queue_draw(GtkWidget* widget) {
  using Real = void (*)(GtkWidget*);
  static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "gtk_widget_queue_draw"));
  const bool ours = gInWakeHandler && pthread_equal(pthread_self(), gGuiThread);
  const std::int64_t t0 = ours ? cpuNs(CLOCK_THREAD_CPUTIME_ID) : 0;
  real(widget);
  if (ours) {
    gRequestCpuNs += cpuNs(CLOCK_THREAD_CPUTIME_ID) - t0;
    gInWakeHandler = false;
    gOwnCpuNs += cpuNs(CLOCK_THREAD_CPUTIME_ID) - gHandlerStartNs;
  }
}

// Allocations on the GUI thread while the wake handler runs, and those of
// them made by the X library while it flushes (it reads what the server sent
// meanwhile, one allocation per event).
std::uint64_t gHandlerAllocations = 0;
std::uint64_t gFlushAllocations = 0;
bool gInXFlush = false;
void noteAllocation() {
  if (!gInWakeHandler || !gMeasuring || !pthread_equal(pthread_self(), gGuiThread)) return;
  ++gHandlerAllocations;
  if (gInXFlush) ++gFlushAllocations;
}

#include "tests/app/libc_malloc_hook.h"

extern "C" Bool XShmPutImage(Display* display, Drawable drawable, GC gc, XImage* image, int srcX, int srcY,
                             int dstX, int dstY, unsigned width, unsigned height, Bool sendEvent) {
  using Real = Bool (*)(Display*, Drawable, GC, XImage*, int, int, int, int, unsigned, unsigned, Bool);
  static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "XShmPutImage"));
  if (gMeasuring && pthread_equal(pthread_self(), gGuiThread)) {
    ++gUploads;
    gUploaded = true;
    if (!gInWakeHandler) {
      ++gUploadsOnCompletion;
      gTakenStampNs = gStoredStampNs.load();
    }
    gUploadStampNs = gTakenStampNs;
  }
  return real(display, drawable, gc, image, srcX, srcY, dstX, dstY, width, height, sendEvent);
}

// The end of a frame shown straight through the X server.
extern "C" int XFlush(Display* display) {
  using Real = int (*)(Display*);
  static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "XFlush"));
  const bool ours = gUploaded && pthread_equal(pthread_self(), gGuiThread);
  const std::int64_t t0 = ours ? cpuNs(CLOCK_THREAD_CPUTIME_ID) : 0;
  gInXFlush = true;
  const int result = real(display);
  gInXFlush = false;
  if (ours) {
    gUploaded = false;
    if (gMeasuring) gServerFlushCpuUs.push_back(static_cast<double>(cpuNs(CLOCK_THREAD_CPUTIME_ID) - t0) / 1e3);
    if (gInWakeHandler) gOwnCpuNs += cpuNs(CLOCK_THREAD_CPUTIME_ID) - gHandlerStartNs;
    gInWakeHandler = false;
    if (gMeasuring && gWokenSinceDraw) endOfFrame();
  }
  return result;
}

// The toolkit reads the server's events only after the wake handler returned.
extern "C" int XNextEvent(Display* display, XEvent* event) {
  using Real = int (*)(Display*, XEvent*);
  static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "XNextEvent"));
  if (pthread_equal(pthread_self(), gGuiThread)) gInWakeHandler = false;
  return real(display, event);
}

extern "C" void cairo_surface_flush(cairo_surface_t* surface) {
  using Real = void (*)(cairo_surface_t*);
  static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "cairo_surface_flush"));
  const bool ours = gInWakeHandler && pthread_equal(pthread_self(), gGuiThread);
  const std::int64_t t0 = ours ? cpuNs(CLOCK_THREAD_CPUTIME_ID) : 0;
  real(surface);
  if (ours) {
    gFlushEndNs = cpuNs(CLOCK_THREAD_CPUTIME_ID);
    gFlushCpuNs += gFlushEndNs - t0;
  }
}

extern "C" void cairo_surface_mark_dirty(cairo_surface_t* surface) {
  using Real = void (*)(cairo_surface_t*);
  static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "cairo_surface_mark_dirty"));
  if (gInWakeHandler && pthread_equal(pthread_self(), gGuiThread)) gTakeCpuNs += cpuNs(CLOCK_THREAD_CPUTIME_ID) - gFlushEndNs;
  real(surface);
}

// The picture's paint: the one paint whose source is the 320 x 170 frame.
extern "C" void cairo_paint(cairo_t* cr) {
  using Real = void (*)(cairo_t*);
  static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "cairo_paint"));
  cairo_surface_t* source = nullptr;
  const bool ours = gMeasuring && pthread_equal(pthread_self(), gGuiThread) &&
                    cairo_pattern_get_surface(cairo_get_source(cr), &source) == CAIRO_STATUS_SUCCESS &&
                    cairo_surface_get_type(source) == CAIRO_SURFACE_TYPE_IMAGE &&
                    cairo_image_surface_get_width(source) == pelmora::kCanvasWidth &&
                    cairo_image_surface_get_height(source) == pelmora::kCanvasHeight;
  const std::int64_t t0 = ours ? cpuNs(CLOCK_THREAD_CPUTIME_ID) : 0;
  real(cr);
  if (ours) gPaintCpuNs += cpuNs(CLOCK_THREAD_CPUTIME_ID) - t0;
}

// The wake source's descriptor, learnt when the source adds it.
std::atomic<int> gWakeFd{-1};

extern "C" gpointer g_source_add_unix_fd(GSource* source, gint fd, GIOCondition events) {
  using Real = gpointer (*)(GSource*, gint, GIOCondition);
  static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "g_source_add_unix_fd"));
  if (isWakeSource(source)) gWakeFd = fd;
  return real(source, fd, events);
}

// The worker wakes the window by writing the descriptor; the window's
// dispatch starts by reading it.
extern "C" int eventfd_write(int fd, eventfd_t value) {
  using Real = int (*)(int, eventfd_t);
  static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "eventfd_write"));
  if (fd == gWakeFd.load() && !pthread_equal(pthread_self(), gGuiThread)) onWorkerWake();
  return real(fd, value);
}

extern "C" int eventfd_read(int fd, eventfd_t* value) {
  using Real = int (*)(int, eventfd_t*);
  static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "eventfd_read"));
  if (fd == gWakeFd.load()) onDispatch();
  return real(fd, value);
}

extern "C" void g_source_set_ready_time(GSource* source, gint64 readyTime) {
  using Real = void (*)(GSource*, gint64);
  static const auto real = reinterpret_cast<Real>(dlsym(RTLD_NEXT, "g_source_set_ready_time"));
  if (isWakeSource(source)) {
    if (readyTime == 0 && !pthread_equal(pthread_self(), gGuiThread)) onWorkerWake();
    if (readyTime < 0) onDispatch();
  }
  real(source, readyTime);
}

int main(int argc, char** argv) {
  using namespace pelmora;
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
  const bool picturePage = argc > 2 && std::strcmp(argv[2], "picture") == 0;
  const int scale = argc > 3 ? std::atoi(argv[3]) : 1;
  constexpr int kWarmUpSeconds = 3;
  gGuiThread = pthread_self();
  WakeFloor wakeFloor;  // before any thread is started
  if (!gtk_init_check(nullptr, nullptr)) {
    std::fputs("window_bench: cannot open the display\n", stderr);
    return 1;
  }
  if (GDK_IS_X11_DISPLAY(gdk_display_get_default())) {
    gCompletionType = XShmGetEventBase(GDK_DISPLAY_XDISPLAY(gdk_display_get_default())) + ShmCompletion;
  }
  gdk_window_add_filter(nullptr, onXEvent, nullptr);
  gServerFlushCpuUs.reserve(1 << 16);  // no allocation of its own inside the counted handler

  sim::RealClock clock;
  sim::SimBus bus(clock);
  sim::DeviceConfig config;
  if (picturePage) config.fixedMode = static_cast<int>(Mode::Picture);
  bus.addDevice(u"demo:0", u"DEMO0001", config);
  SessionBridgeOptions options;
  options.hooks = bus.hooks(clock);
  options.hooks.createTransport = [inner = options.hooks.createTransport] {
    return std::make_unique<StampingTransport>(inner());
  };
  SessionBridge bridge(std::move(options));

  const double floorBeforeUs = clearAndCopyUs();
  const double wakeBeforeUs = wakeFloor.measureUs();
  std::int64_t guiCpu0 = 0;
  std::int64_t workerCpu0 = 0;
  std::uint64_t stored0 = 0;
  std::int64_t wall0 = 0;
  std::int64_t guiCpu = 0;
  std::int64_t workerCpu = 0;
  std::uint64_t stored = 0;
  std::int64_t wall = 0;
  {
    app::LcdWindow window(bridge);
    window.show();
    window.applyStartOptions(scale, false);
    g_signal_connect_after(theWindow(), "draw", G_CALLBACK(onWindowDrawn), nullptr);
    auto start = [&] {
      guiCpu0 = cpuNs(CLOCK_THREAD_CPUTIME_ID);
      workerCpu0 = gWorkerClockKnown ? cpuNs(gWorkerClock) : 0;
      stored0 = gStored;
      wall0 = wallNs();
      gMeasuring = true;
    };
    auto stop = [&] {
      gMeasuring = false;
      guiCpu = cpuNs(CLOCK_THREAD_CPUTIME_ID) - guiCpu0;
      workerCpu = (gWorkerClockKnown ? cpuNs(gWorkerClock) : 0) - workerCpu0;
      stored = gStored - stored0;
      wall = wallNs() - wall0;
      gtk_main_quit();
    };
    using Step = std::function<void()>;
    auto later = [](guint secondsFromNow, Step* step) {
      g_timeout_add_seconds(secondsFromNow, [](gpointer s) -> gboolean {
        (*static_cast<Step*>(s))();
        return G_SOURCE_REMOVE;
      }, step);
    };
    Step startStep = start;
    Step stopStep = stop;
    later(kWarmUpSeconds, &startStep);
    later(kWarmUpSeconds + seconds, &stopStep);
    gtk_main();
  }
  bridge.stop();
  const double floorAfterUs = clearAndCopyUs();
  const double wakeAfterUs = wakeFloor.measureUs();
  const auto deadline = Clock::now() + std::chrono::seconds(2);
  while (!bridge.finished() && Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(5));

  const std::size_t shown = gFrameCpuUs.size();
  const double floorUs = (floorBeforeUs + floorAfterUs) / 2;
  const double frameUs = percentile(gFrameCpuUs, 0.5);
  std::printf("window_bench: %d s, scale %d%s\n", seconds, scale, picturePage ? ", picture page" : ", pages cycling");
  std::printf("clear_and_copy (this process, before/after)   %.2f / %.2f us\n", floorBeforeUs, floorAfterUs);
  const double wakeUs = (wakeBeforeUs + wakeAfterUs) / 2;
  std::printf("a write waking a process asleep 33 ms (bef/aft) %.2f / %.2f us (%.1fx clear_and_copy)\n",
              wakeBeforeUs, wakeAfterUs, wakeUs / floorUs);
  const double ownUs = percentile(gOwnCpuUs, 0.5);
  std::printf("GUI thread, own code (wake handler + paint)    p50 %.1f us (%.1fx clear_and_copy), p90 %.1f us\n",
              ownUs, ownUs / floorUs, percentile(gOwnCpuUs, 0.9));
  if (gUploads > 0) {
    std::printf("  of which sending the requests (XFlush)        p50 %.1f us\n", percentile(gServerFlushCpuUs, 0.5));
  } else {  // the toolkit's path
    std::printf("  of which the picture's paint                  p50 %.1f us\n", percentile(gPaintCpuUs, 0.5));
    std::printf("  of which the toolkit's redraw request          p50 %.1f us\n", percentile(gRequestCpuUs, 0.5));
    std::printf("  of which flushing the picture before the take  p50 %.1f us\n", percentile(gFlushCpuUs, 0.5));
    std::printf("  of which the take (one copy under the mutex)   p50 %.1f us\n", percentile(gTakeCpuUs, 0.5));
  }
  std::printf("GUI thread, wake-up to end of draw, per shown  p50 %.1f us (%.1fx clear_and_copy), p90 %.1f us\n",
              frameUs, frameUs / floorUs, percentile(gFrameCpuUs, 0.9));
  std::printf("GUI thread, all of its CPU / shown frames      %.1f us (%.1fx)\n",
              shown ? static_cast<double>(guiCpu) / 1e3 / static_cast<double>(shown) : 0.0,
              shown ? static_cast<double>(guiCpu) / 1e3 / static_cast<double>(shown) / floorUs : 0.0);
  std::printf("last report -> taken by the window             p50 %.2f ms, p99 %.2f ms\n",
              percentile(gLatencyToTakeMs, 0.5), percentile(gLatencyToTakeMs, 0.99));
  std::printf("last report -> end of draw                     p50 %.2f ms, p99 %.2f ms\n",
              percentile(gLatencyToDrawMs, 0.5), percentile(gLatencyToDrawMs, 0.99));
  std::printf("allocations in the wake handler                %llu, %llu of them in the X library's flush\n",
              static_cast<unsigned long long>(gHandlerAllocations), static_cast<unsigned long long>(gFlushAllocations));
  std::printf("straight to the X server: %llu uploads, %llu of them when it finished reading the last\n",
              static_cast<unsigned long long>(gUploads), static_cast<unsigned long long>(gUploadsOnCompletion));
  if (!gLatencyToServerMs.empty()) {
    std::printf("last report -> server finished reading         p50 %.2f ms, p99 %.2f ms\n",
                percentile(gLatencyToServerMs, 0.5), percentile(gLatencyToServerMs, 0.99));
  }
  std::printf("renders %llu, wake-ups %llu, shown %zu (%.1f/s): never shown %.1f %%\n",
              static_cast<unsigned long long>(stored), static_cast<unsigned long long>(gWakeUps), shown,
              static_cast<double>(shown) * 1e9 / static_cast<double>(wall),
              stored ? 100.0 * static_cast<double>(stored - std::min<std::uint64_t>(stored, shown)) /
                           static_cast<double>(stored)
                     : 0.0);
  std::printf("worker thread CPU %.2f %% of a core, %.1f us per render\n",
              100.0 * static_cast<double>(workerCpu) / static_cast<double>(wall),
              stored ? static_cast<double>(workerCpu) / 1e3 / static_cast<double>(stored) : 0.0);
  std::fflush(stdout);
  // The simulated bus must outlive a worker that may still be winding down.
  if (!bridge.finished()) _exit(0);
  return 0;
}
