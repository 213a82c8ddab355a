#include "linux/app/lcd_window.h"

#include <gdk/gdkx.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <ctime>
#include <new>
#include <optional>
#include <utility>

#include "core/render/status_screen.h"
#include "linux/app/lcd_snapshot.h"
#include "host/screenshot_name.h"
#include "linux/app/translation.h"
#include "linux/app/window_geometry.h"
#include "linux/app/window_title.h"

namespace pelmora::app {
namespace {

constexpr guint kNoticeSeconds = 4;
constexpr char kNoDevice[] = "No Device";
constexpr int kLeftButton = 1;
// The title's notice once the picture is on the clipboard.
constexpr const char* kCopiedText = translatable("Copied to the clipboard");
// Followed by the path of the picture.
constexpr const char* kSavedText = translatable("Saved:");
// Followed by the reason, which stays in English.
constexpr const char* kNotSavedText = translatable("Not saved:");

bool fileExists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

// Where the window is: the work area of its monitor and the size of the
// frame the window manager adds around it. Nothing before it is on screen.
struct Placement {
  Rect work;
  Size frame;
};

std::optional<Placement> placementOf(GtkWidget* window) {
  GdkWindow* gdkWindow = gtk_widget_get_window(window);
  if (!gdkWindow) return std::nullopt;
  GdkMonitor* monitor = gdk_display_get_monitor_at_window(gtk_widget_get_display(window), gdkWindow);
  if (!monitor) return std::nullopt;
  GdkRectangle work{};
  gdk_monitor_get_workarea(monitor, &work);
  GdkRectangle extents{};
  gdk_window_get_frame_extents(gdkWindow, &extents);
  const Size frame{std::max(0, extents.width - gdk_window_get_width(gdkWindow)),
                   std::max(0, extents.height - gdk_window_get_height(gdkWindow))};
  return Placement{{work.x, work.y, work.width, work.height}, frame};
}

constexpr int kFrameStride = kCanvasWidth * static_cast<int>(sizeof(std::uint32_t));

// The picture's surface. An image made like the display's own can be shared
// with the X server (through shared memory where it offers that), so painting
// it costs a fraction of uploading a private buffer. Frames are taken
// straight into its memory: the output frame's 0x00RRGGBB words are exactly
// cairo's RGB24 pixels.
cairo_surface_t* makePictureSurface(std::unique_ptr<OutputFrame>& own) {
  GdkScreen* screen = gdk_screen_get_default();
  if (GdkWindow* root = screen ? gdk_screen_get_root_window(screen) : nullptr) {
    cairo_surface_t* shared =
        gdk_window_create_similar_image_surface(root, CAIRO_FORMAT_RGB24, kCanvasWidth, kCanvasHeight, 1);
    if (shared && cairo_surface_status(shared) == CAIRO_STATUS_SUCCESS &&
        cairo_surface_get_type(shared) == CAIRO_SURFACE_TYPE_IMAGE &&
        cairo_image_surface_get_stride(shared) == kFrameStride && cairo_image_surface_get_data(shared)) {
      return shared;
    }
    if (shared) cairo_surface_destroy(shared);
  }
  own = std::make_unique<OutputFrame>();
  return cairo_image_surface_create_for_data(reinterpret_cast<unsigned char*>(own->data()), CAIRO_FORMAT_RGB24,
                                             kCanvasWidth, kCanvasHeight, kFrameStride);
}

// The surface's memory holds exactly one frame of words.
OutputFrame& frameIn(cairo_surface_t* surface) { return *::new (cairo_image_surface_get_data(surface)) OutputFrame; }

}  // namespace

LcdWindow::LcdWindow(SessionBridge& session)
    : session_(session),
      surface_(makePictureSurface(ownFrame_)),
      frame_(frameIn(surface_)),
      refresh_(session, frame_),
      wake_(nullptr, [this] { refresh(); }),
      topmostAvailable_(GDK_IS_X11_DISPLAY(gdk_display_get_default())) {
  frame_.fill(0);
  // Something to show before the first frame arrives.
  drawStatusScreen(frame_, kNoDevice, sizeof kNoDevice - 1, false);
  cairo_surface_mark_dirty(surface_);

  actions_.setScale = [this](int scale) { setScale(scale); };
  actions_.toggleTopmost = [this] { toggleTopmost(); };
  // Closing goes through the same path as the window's close button, after
  // the menu has finished with its own signal emission.
  actions_.exit = [this] {
    if (window_) gtk_window_close(GTK_WINDOW(window_));
  };

  window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window_), refresh_.title().c_str());
  gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
  gtk_window_set_icon_name(GTK_WINDOW(window_), "pelmora");

  area_ = gtk_drawing_area_new();
  const Size size = lcdAreaSize(scale_);
  gtk_widget_set_size_request(area_, size.width, size.height);
  gtk_widget_add_events(area_, GDK_BUTTON_PRESS_MASK);
  gtk_container_add(GTK_CONTAINER(window_), area_);

  g_signal_connect(area_, "draw", G_CALLBACK(onDraw), this);
  g_signal_connect(area_, "button-press-event", G_CALLBACK(onButtonPress), this);
  g_signal_connect(area_, "notify::scale-factor", G_CALLBACK(onScaleFactorChanged), this);
  g_signal_connect_after(area_, "realize", G_CALLBACK(onAreaRealized), this);
  g_signal_connect(area_, "unrealize", G_CALLBACK(onAreaUnrealize), this);
  g_signal_connect(window_, "key-press-event", G_CALLBACK(onKeyPress), this);
  g_signal_connect(window_, "window-state-event", G_CALLBACK(onWindowState), this);
  g_signal_connect(window_, "destroy", G_CALLBACK(onDestroy), this);

  // The worker wakes the main loop when there is something new; what came
  // before the listener was in place is taken on the first wake.
  session_.setChangeListener([this] {
    // A hidden window still learns of a new serial, for its title.
    const bool onlyAFrame = std::exchange(frameJustReceived_, false);
    if (!onlyAFrame || !hidden_.load(std::memory_order_relaxed)) wake_.wake();
  });
  wake_.wake();
}

LcdWindow::~LcdWindow() {
  // From here on the worker cannot reach this object any more.
  session_.setChangeListener({});
  stopDirectPicture();
  if (noticeTimer_) g_source_remove(noticeTimer_);
  if (window_) {
    // Destroying widgets emits signals; none may reach this half-gone object.
    g_signal_handlers_disconnect_by_data(window_, this);
    g_signal_handlers_disconnect_by_data(area_, this);
    if (menu_) gtk_widget_destroy(menu_);
    gtk_widget_destroy(window_);
  }
  cairo_surface_destroy(surface_);
}

void LcdWindow::show() { gtk_widget_show_all(window_); }

void LcdWindow::refresh() {
  if (!window_) return;
  if (direct_) {
    if (!hidden_.load(std::memory_order_relaxed)) direct_->showNewest();
    if (refresh_.refreshTitle()) gtk_window_set_title(GTK_WINDOW(window_), refresh_.title().c_str());
    return;
  }
  // The surface reads frame_ directly: cairo (and the X server, for a shared
  // image) must have finished with it before the new frame is copied in, and
  // cairo must learn afterwards that it changed.
  cairo_surface_flush(surface_);
  const WindowRefresh::Changes changes = refresh_.refresh();
  if (changes.picture) {
    cairo_surface_mark_dirty(surface_);
    gtk_widget_queue_draw(area_);
  }
  if (changes.title) gtk_window_set_title(GTK_WINDOW(window_), refresh_.title().c_str());
}

// Once the area has its own window on the screen, frames can go to the X
// server without the toolkit; the worker then copies each frame into the
// server-shared buffers itself.
void LcdWindow::startDirectPicture() {
  direct_ = X11Picture::create(area_, frame_);
  if (!direct_) return;
  direct_->setScale(pixelScale());
  session_.setFrameReceiver([this, picture = direct_.get()](const OutputFrame& frame) {
    FrameMailbox& mailbox = picture->mailbox();
    mailbox.writeBuffer() = frame;
    mailbox.publish();
    frameJustReceived_ = true;
  });
  wake_.wake();
}

// Before the area's window goes: frames wait for a take again, starting
// from the one on screen.
void LcdWindow::stopDirectPicture() {
  if (!direct_) return;
  session_.setFrameReceiver({});
  frame_ = direct_->shown();
  cairo_surface_mark_dirty(surface_);
  direct_.reset();
}

int LcdWindow::pixelScale() const { return scale_ * (area_ ? gtk_widget_get_scale_factor(area_) : 1); }

const OutputFrame& LcdWindow::shownFrame() const { return direct_ ? direct_->shown() : frame_; }

void LcdWindow::onAreaRealized(GtkWidget*, gpointer self) { static_cast<LcdWindow*>(self)->startDirectPicture(); }

void LcdWindow::onAreaUnrealize(GtkWidget*, gpointer self) { static_cast<LcdWindow*>(self)->stopDirectPicture(); }

void LcdWindow::showNotice(const std::string& notice, bool lasting) {
  if (!window_) return;
  refresh_.showNotice(notice);
  gtk_window_set_title(GTK_WINDOW(window_), refresh_.title().c_str());
  if (noticeTimer_) g_source_remove(noticeTimer_);
  noticeTimer_ = lasting ? 0 : g_timeout_add_seconds(kNoticeSeconds, &LcdWindow::onNoticeEnd, this);
}

void LcdWindow::setTitleLabel(const std::string& label) {
  if (!window_) return;
  refresh_.setLabel(label);
  gtk_window_set_title(GTK_WINDOW(window_), refresh_.title().c_str());
}

gboolean LcdWindow::onNoticeEnd(gpointer data) {
  auto* self = static_cast<LcdWindow*>(data);
  self->noticeTimer_ = 0;
  if (self->refresh_.clearNotice() && self->window_) {
    gtk_window_set_title(GTK_WINDOW(self->window_), self->refresh_.title().c_str());
  }
  return G_SOURCE_REMOVE;
}

gboolean LcdWindow::onDraw(GtkWidget*, cairo_t* cr, gpointer data) {
  auto* self = static_cast<LcdWindow*>(data);
  // The area is exactly the picture times the scale in window pixels; the
  // toolkit's own device scale (HiDPI) multiplies that by a whole number
  // again, so nearest sampling keeps every LCD pixel a sharp square.
  cairo_scale(cr, self->scale_, self->scale_);
  cairo_set_source_surface(cr, self->direct_ ? self->direct_->surface() : self->surface_, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_paint(cr);
  return TRUE;
}

void LcdWindow::onScaleFactorChanged(GObject*, GParamSpec*, gpointer data) {
  auto* self = static_cast<LcdWindow*>(data);
  if (self->direct_) self->direct_->setScale(self->pixelScale());
  gtk_widget_queue_draw(self->area_);
}

gboolean LcdWindow::onButtonPress(GtkWidget*, GdkEventButton* event, gpointer data) {
  auto* self = static_cast<LcdWindow*>(data);
  if (event->type != GDK_BUTTON_PRESS) return FALSE;
  if (gdk_event_triggers_context_menu(reinterpret_cast<GdkEvent*>(event))) {
    self->openMenu(reinterpret_cast<GdkEvent*>(event), false);
    return TRUE;
  }
  if (event->button == kLeftButton) {
    gtk_window_begin_move_drag(GTK_WINDOW(self->window_), static_cast<gint>(event->button),
                               static_cast<gint>(event->x_root), static_cast<gint>(event->y_root),
                               event->time);
    return TRUE;
  }
  return FALSE;
}

gboolean LcdWindow::onKeyPress(GtkWidget*, GdkEventKey* event, gpointer data) {
  auto* self = static_cast<LcdWindow*>(data);
  const guint modifiers = event->state & gtk_accelerator_get_default_mod_mask();
  const guint key = gdk_keyval_to_lower(event->keyval);
  if ((key == GDK_KEY_Menu && modifiers == 0) || (key == GDK_KEY_F10 && modifiers == GDK_SHIFT_MASK)) {
    self->openMenu(reinterpret_cast<GdkEvent*>(event), true);
    return TRUE;
  }
  if (modifiers == GDK_CONTROL_MASK && key == GDK_KEY_c) {
    self->copyPicture();
    return TRUE;
  }
  if (modifiers == GDK_CONTROL_MASK && key == GDK_KEY_s) {
    self->savePicture();
    return TRUE;
  }
  return FALSE;
}

gboolean LcdWindow::onWindowState(GtkWidget* widget, GdkEventWindowState* event, gpointer data) {
  // The size belongs to the scale alone; a window manager that offers
  // maximise or full screen anyway is undone.
  if (event->new_window_state & GDK_WINDOW_STATE_MAXIMIZED) gtk_window_unmaximize(GTK_WINDOW(widget));
  if (event->new_window_state & GDK_WINDOW_STATE_FULLSCREEN) gtk_window_unfullscreen(GTK_WINDOW(widget));
  auto* self = static_cast<LcdWindow*>(data);
  // The window manager's own "always on top" must show in our menu's mark.
  if (event->changed_mask & GDK_WINDOW_STATE_ABOVE) {
    self->topmost_ = (event->new_window_state & GDK_WINDOW_STATE_ABOVE) != 0;
  }
  // Hidden, the window is not woken for frames; back on the screen it shows
  // the newest frame, not the one shown when it left.
  constexpr auto kHidden = GDK_WINDOW_STATE_ICONIFIED | GDK_WINDOW_STATE_WITHDRAWN;
  if (event->changed_mask & kHidden) {
    self->hidden_.store((event->new_window_state & kHidden) != 0, std::memory_order_relaxed);
    self->wake_.wake();
  }
  return FALSE;
}

void LcdWindow::onDestroy(GtkWidget*, gpointer data) {
  auto* self = static_cast<LcdWindow*>(data);
  self->session_.setChangeListener({});
  self->stopDirectPicture();
  if (self->noticeTimer_) g_source_remove(self->noticeTimer_);
  self->noticeTimer_ = 0;
  self->window_ = nullptr;
  self->area_ = nullptr;
  if (self->menu_) gtk_widget_destroy(self->menu_);
  self->menu_ = nullptr;
  gtk_main_quit();
}

void LcdWindow::setScale(int scale) {
  const auto chosen = scaleFromChoice(scale);
  if (!chosen || !window_) return;
  scale_ = *chosen;
  gint x = 0;
  gint y = 0;
  gtk_window_get_position(GTK_WINDOW(window_), &x, &y);
  if (direct_) direct_->setScale(pixelScale());
  const Size size = lcdAreaSize(scale_);
  gtk_widget_set_size_request(area_, size.width, size.height);
  gtk_window_resize(GTK_WINDOW(window_), size.width, size.height);
  // The window moves just enough that all of it, frame included, lies on
  // its monitor's work area where it can.
  if (const auto place = placementOf(window_)) {
    const Size whole{size.width + place->frame.width, size.height + place->frame.height};
    const Point fitted = fitInWorkArea({x, y}, whole, place->work);
    gtk_window_move(GTK_WINDOW(window_), fitted.x, fitted.y);
  }
  gtk_widget_queue_draw(area_);
}

void LcdWindow::applyStartOptions(int scale, bool onTop) {
  // A scale asked for on the command line is held to what the screen can
  // show, like the menu's choices; without one, the screen decides.
  if (const auto place = placementOf(window_)) {
    scale = scale == 0 ? host::firstScale(place->frame, place->work)
                       : std::min(scale, largestFittingScale(place->frame, place->work));
  }
  if (scale == 0) scale = kMinScale;
  if (scale != scale_) setScale(scale);
  if (onTop != topmost_) toggleTopmost();
}

void LcdWindow::toggleTopmost() {
  if (!window_ || !topmostAvailable_) return;
  topmost_ = !topmost_;
  gtk_window_set_keep_above(GTK_WINDOW(window_), topmost_);
}

void LcdWindow::openMenu(const GdkEvent* trigger, bool fromKeyboard) {
  if (menu_) gtk_widget_destroy(menu_);
  const auto place = placementOf(window_);
  const int usable = place ? largestFittingScale(place->frame, place->work) : kMaxScale;
  menu_ = buildContextMenu(scale_, usable, topmost_, actions_, topmostAvailable_);
  gtk_menu_attach_to_widget(GTK_MENU(menu_), area_, nullptr);
  if (fromKeyboard) {
    const Point centre = keyboardMenuPoint(scale_);
    const GdkRectangle at{centre.x, centre.y, 1, 1};
    gtk_menu_popup_at_rect(GTK_MENU(menu_), gtk_widget_get_window(area_), &at, GDK_GRAVITY_NORTH_WEST,
                           GDK_GRAVITY_NORTH_WEST, trigger);
    gtk_menu_shell_select_first(GTK_MENU_SHELL(menu_), FALSE);
  } else {
    gtk_menu_popup_at_pointer(GTK_MENU(menu_), trigger);
  }
}

void LcdWindow::copyPicture() {
  copyFrameToClipboard(shownFrame());
  showNotice(tr(kCopiedText));
}

void LcdWindow::savePicture() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const std::string path = host::screenshotPath(snapshotFolder(), local, fileExists);
  std::string error = "no free file name";
  if (!path.empty() && saveFrameAsPng(shownFrame(), path, error)) {
    showNotice(tr(kSavedText) + path);
  } else {
    showNotice(tr(kNotSavedText) + error);
  }
}

}  // namespace pelmora::app
