#pragma once
// The program's one window: the LCD picture at a whole scale 1..6, dragged
// by the picture, with a context menu, keyboard shortcuts for the menu,
// copying and saving, and the serial of the device in use in its title.
#include <gtk/gtk.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "bridge/session_bridge.h"
#include "core/render/lcd_canvas.h"
#include "linux/app/lcd_menu.h"
#include "linux/app/wake_source.h"
#include "linux/app/window_refresh.h"
#include "linux/app/x11_picture.h"

namespace pelmora::app {

class LcdWindow {
 public:
  explicit LcdWindow(SessionBridge& session);
  ~LcdWindow();
  LcdWindow(const LcdWindow&) = delete;
  LcdWindow& operator=(const LcdWindow&) = delete;

  void show();
  // The scale (0: chosen for the screen) and always-on-top asked for at
  // start; call after show().
  void applyStartOptions(int scale, bool onTop);
  // True once the user closed the window.
  bool closed() const { return window_ == nullptr; }
  // Only an X window manager lets a window keep itself above the others; a
  // Wayland compositor ignores the request.
  bool topmostAvailable() const { return topmostAvailable_; }
  // Shows `notice` after the serial in the title for a few seconds, or,
  // when `lasting`, until the next notice.
  void showNotice(const std::string& notice, bool lasting = false);
  // Keeps `label` after the serial in the title, before any notice.
  void setTitleLabel(const std::string& label);

 private:
  static gboolean onNoticeEnd(gpointer self);
  static gboolean onDraw(GtkWidget* widget, cairo_t* cr, gpointer self);
  static gboolean onButtonPress(GtkWidget* widget, GdkEventButton* event, gpointer self);
  static gboolean onKeyPress(GtkWidget* widget, GdkEventKey* event, gpointer self);
  static gboolean onWindowState(GtkWidget* widget, GdkEventWindowState* event, gpointer self);
  static void onScaleFactorChanged(GObject* widget, GParamSpec* spec, gpointer self);
  static void onAreaRealized(GtkWidget* widget, gpointer self);
  static void onAreaUnrealize(GtkWidget* widget, gpointer self);
  static void onDestroy(GtkWidget* widget, gpointer self);

  void refresh();
  void startDirectPicture();
  void stopDirectPicture();
  // Window pixels per LCD pixel: the chosen scale times the toolkit's own.
  int pixelScale() const;
  const OutputFrame& shownFrame() const;
  void setScale(int scale);
  void toggleTopmost();
  void openMenu(const GdkEvent* trigger, bool fromKeyboard);
  void copyPicture();
  void savePicture();

  SessionBridge& session_;
  std::unique_ptr<OutputFrame> ownFrame_;  // only when the display has no image to share
  cairo_surface_t* surface_ = nullptr;     // what is painted; its RGB24 pixels are frame_'s words
  OutputFrame& frame_;                     // as taken, in surface_'s memory; also copied and saved
  // Frames shown straight through the X server, where it can; while set,
  // frames go there and surface_ and frame_ rest.
  std::unique_ptr<X11Picture> direct_;
  WindowRefresh refresh_;
  WakeSource wake_;                      // made ready by the session's worker
  GtkWidget* window_ = nullptr;
  GtkWidget* area_ = nullptr;
  GtkWidget* menu_ = nullptr;  // the last menu built, kept until the next
  MenuActions actions_;
  guint noticeTimer_ = 0;  // ends the notice in the title
  int scale_ = 1;
  bool topmost_ = false;
  bool topmostAvailable_ = false;
  // Minimised or withdrawn: the worker does not wake the window for frames,
  // and the X server is sent none.
  std::atomic<bool> hidden_{false};
  // Set by the frame receiver just before the change listener runs, both on
  // the worker under the session's lock: that call is about a frame only.
  bool frameJustReceived_ = false;
};

}  // namespace pelmora::app
