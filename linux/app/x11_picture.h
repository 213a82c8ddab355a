#pragma once
// The picture shown straight through the X server, outside the toolkit's
// drawing cycle. Three frame buffers live in memory the server shares; the
// worker copies each new frame into one of them, and the main loop, when
// woken, asks the server to copy the newest into a picture of its own and
// scale it into the window. The main thread itself copies nothing and the
// toolkit does not repaint per frame. A buffer the server may still be
// reading is never handed back to the worker: it is kept until the server
// reports that it has finished with it.
//
// Only where the window is on an X server that offers shared memory and the
// render extension, with pixels that are 0x00RRGGBB words; elsewhere
// `create` returns null and the window paints through the toolkit.
#include <gtk/gtk.h>

#include <memory>

#include "bridge/frame_mailbox.h"
#include "core/render/lcd_canvas.h"

namespace pelmora::app {

// What the X server holds for the picture (defined with the code).
struct X11PictureResources;

class X11Picture {
 public:
  // For the realized `area`, showing `first` until frames arrive.
  static std::unique_ptr<X11Picture> create(GtkWidget* area, const OutputFrame& first);
  ~X11Picture();
  X11Picture(const X11Picture&) = delete;
  X11Picture& operator=(const X11Picture&) = delete;

  // The worker's side, for the session's frame receiver.
  FrameMailbox& mailbox() { return mailbox_; }

  // Main thread: shows the newest frame, now or, while the server still
  // reads the last one, as soon as it is done.
  void showNewest();
  // Window pixels per LCD pixel (the chosen scale times the toolkit's own).
  void setScale(int scale);
  // What a redraw paints: the server's copy of the frame last shown.
  cairo_surface_t* surface() const { return surface_; }
  // The frame last shown, for copying and saving.
  const OutputFrame& shown() const { return mailbox_.shown(); }

 private:
  X11Picture(std::unique_ptr<X11PictureResources> resources, const OutputFrame& first);

  static GdkFilterReturn onEvent(GdkXEvent* xevent, GdkEvent* event, gpointer self);
  void upload();
  void composite();

  std::unique_ptr<X11PictureResources> x_;
  FrameMailbox mailbox_;
  cairo_surface_t* surface_ = nullptr;
  int scale_ = 1;
  bool uploading_ = false;  // the server has not yet finished reading a buffer
  bool newerWaiting_ = false;
};

}  // namespace pelmora::app
