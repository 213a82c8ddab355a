#include "linux/app/x11_picture.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <X11/extensions/Xrender.h>
#include <cairo-xlib.h>
#include <gdk/gdkx.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <new>

namespace pelmora::app {

// Everything the server holds for the picture, released in reverse order of
// making, whatever was made before a step failed.
struct X11PictureResources {
  Display* display = nullptr;
  Visual* visual = nullptr;
  int depth = 0;
  ::Window window = 0;
  int completionType = -1;  // the server's "finished reading" event
  XShmSegmentInfo segment{};
  bool attached = false;
  XImage* image = nullptr;
  Pixmap pixmap = 0;
  GC gc = nullptr;
  Picture source = 0;
  Picture target = 0;

  ~X11PictureResources() {
    if (target) XRenderFreePicture(display, target);
    if (source) XRenderFreePicture(display, source);
    if (gc) XFreeGC(display, gc);
    if (pixmap) XFreePixmap(display, pixmap);
    if (attached) XShmDetach(display, &segment);
    if (image) {
      image->data = nullptr;  // the buffers are not the image's to free
      XDestroyImage(image);
    }
    if (segment.shmaddr) shmdt(segment.shmaddr);
    if (display) XFlush(display);
  }

  OutputFrame* buffer(std::size_t index) const {
    return reinterpret_cast<OutputFrame*>(segment.shmaddr + index * sizeof(OutputFrame));
  }
};

namespace {

using Resources = X11PictureResources;

constexpr int kFrameStride = kCanvasWidth * static_cast<int>(sizeof(std::uint32_t));
constexpr std::size_t kBuffersBytes = FrameMailbox::kBufferCount * sizeof(OutputFrame);
constexpr int kOwnerOnly = 0600;
// The largest scale at which a rounded 16.16 inverse still samples every
// window pixel from the right LCD pixel across the whole 320-pixel width;
// beyond it the exact (projective) form is used, at more cost to the server.
constexpr int kLargestAffineScale = 14;

// The output frame's words are the pixel values of a 24-bit true-colour
// visual with these masks, read in the machine's own byte order.
bool takesFrameWords(Display* display, const Visual* visual, int depth) {
  const int ownOrder = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;
  return depth == 24 && visual->c_class == TrueColor && visual->red_mask == 0xFF0000 &&
         visual->green_mask == 0x00FF00 && visual->blue_mask == 0x0000FF && ImageByteOrder(display) == ownOrder;
}

// Maps window pixels back to LCD pixels: the centre of window pixel x lands
// inside LCD pixel x / scale, and nearest sampling takes exactly that one.
XTransform scaleTransform(int scale) {
  const XFixed one = XDoubleToFixed(1);
  if (scale <= kLargestAffineScale) {
    const auto inverse = static_cast<XFixed>(std::lround(65536.0 / scale));
    return {{{inverse, 0, 0}, {0, inverse, 0}, {0, 0, one}}};
  }
  return {{{one, 0, 0}, {0, one, 0}, {0, 0, XDoubleToFixed(scale)}}};
}

bool hasExtensions(Resources& x) {
  int renderEvents = 0;
  int renderErrors = 0;
  if (!XShmQueryExtension(x.display) || !XRenderQueryExtension(x.display, &renderEvents, &renderErrors)) return false;
  x.completionType = XShmGetEventBase(x.display) + ShmCompletion;
  return true;
}

// The shared buffers: made, attached by the server, and marked for removal
// at once, so that they vanish with the last process using them even when
// this one ends without tidying up. A server on another machine cannot
// attach them.
bool shareBuffers(GdkDisplay* gdkDisplay, Resources& x) {
  x.image = XShmCreateImage(x.display, x.visual, static_cast<unsigned>(x.depth), ZPixmap, nullptr, &x.segment,
                            kCanvasWidth, kCanvasHeight);
  if (!x.image || x.image->bytes_per_line != kFrameStride || x.image->bits_per_pixel != 32) return false;
  x.segment.shmid = shmget(IPC_PRIVATE, kBuffersBytes, IPC_CREAT | kOwnerOnly);
  if (x.segment.shmid < 0) return false;
  void* memory = shmat(x.segment.shmid, nullptr, 0);
  if (memory == reinterpret_cast<void*>(-1)) {
    shmctl(x.segment.shmid, IPC_RMID, nullptr);
    return false;
  }
  x.segment.shmaddr = static_cast<char*>(memory);
  x.segment.readOnly = True;
  gdk_x11_display_error_trap_push(gdkDisplay);
  XShmAttach(x.display, &x.segment);
  x.attached = gdk_x11_display_error_trap_pop(gdkDisplay) == 0;  // waits for the server's answer
  shmctl(x.segment.shmid, IPC_RMID, nullptr);
  return x.attached;
}

// The server's copy of the frame and the two render pictures: one reading
// that copy with nearest sampling, one drawing into the window.
bool makeServerPicture(GdkDisplay* gdkDisplay, Resources& x) {
  const XRenderPictFormat* format = XRenderFindVisualFormat(x.display, x.visual);
  if (!format) return false;
  gdk_x11_display_error_trap_push(gdkDisplay);
  x.pixmap = XCreatePixmap(x.display, x.window, kCanvasWidth, kCanvasHeight, static_cast<unsigned>(x.depth));
  x.gc = XCreateGC(x.display, x.pixmap, 0, nullptr);
  x.source = XRenderCreatePicture(x.display, x.pixmap, format, 0, nullptr);
  XRenderSetPictureFilter(x.display, x.source, FilterNearest, nullptr, 0);
  x.target = XRenderCreatePicture(x.display, x.window, format, 0, nullptr);
  return gdk_x11_display_error_trap_pop(gdkDisplay) == 0;
}

}  // namespace

std::unique_ptr<X11Picture> X11Picture::create(GtkWidget* area, const OutputFrame& first) {
  GdkWindow* gdkWindow = gtk_widget_get_window(area);
  if (!gdkWindow || !GDK_IS_X11_WINDOW(gdkWindow) || !gdk_window_ensure_native(gdkWindow)) return nullptr;
  GdkDisplay* gdkDisplay = gdk_window_get_display(gdkWindow);
  GdkVisual* gdkVisual = gdk_window_get_visual(gdkWindow);
  auto x = std::make_unique<Resources>();
  x->display = GDK_DISPLAY_XDISPLAY(gdkDisplay);
  x->visual = gdk_x11_visual_get_xvisual(gdkVisual);
  x->depth = gdk_visual_get_depth(gdkVisual);
  x->window = GDK_WINDOW_XID(gdkWindow);
  if (!takesFrameWords(x->display, x->visual, x->depth) || !hasExtensions(*x) || !shareBuffers(gdkDisplay, *x) ||
      !makeServerPicture(gdkDisplay, *x)) {
    return nullptr;
  }
  return std::unique_ptr<X11Picture>(new X11Picture(std::move(x), first));
}

X11Picture::X11Picture(std::unique_ptr<X11PictureResources> resources, const OutputFrame& first)
    : x_(std::move(resources)),
      mailbox_({::new (x_->buffer(0)) OutputFrame(first), ::new (x_->buffer(1)) OutputFrame(first),
                ::new (x_->buffer(2)) OutputFrame(first)}) {
  surface_ = cairo_xlib_surface_create(x_->display, x_->pixmap, x_->visual, kCanvasWidth, kCanvasHeight);
  gdk_window_add_filter(nullptr, &X11Picture::onEvent, this);
  setScale(1);
  upload();
  XFlush(x_->display);
}

X11Picture::~X11Picture() {
  gdk_window_remove_filter(nullptr, &X11Picture::onEvent, this);
  cairo_surface_finish(surface_);
  cairo_surface_destroy(surface_);
}

void X11Picture::setScale(int scale) {
  scale_ = scale;
  XTransform transform = scaleTransform(scale);
  XRenderSetPictureTransform(x_->display, x_->source, &transform);
}

void X11Picture::showNewest() {
  if (uploading_) {
    newerWaiting_ = true;
    return;
  }
  if (!mailbox_.takeNewest()) return;
  upload();
  composite();
  XFlush(x_->display);
}

// The server copies the shown buffer into its own picture and tells us when
// it has; until then that buffer stays ours.
void X11Picture::upload() {
  x_->image->data = reinterpret_cast<char*>(mailbox_.shown().data());
  XShmPutImage(x_->display, x_->pixmap, x_->gc, x_->image, 0, 0, 0, 0, kCanvasWidth, kCanvasHeight, True);
  uploading_ = true;
}

void X11Picture::composite() {
  XRenderComposite(x_->display, PictOpSrc, x_->source, None, x_->target, 0, 0, 0, 0, 0, 0,
                   static_cast<unsigned>(kCanvasWidth * scale_), static_cast<unsigned>(kCanvasHeight * scale_));
}

GdkFilterReturn X11Picture::onEvent(GdkXEvent* xevent, GdkEvent*, gpointer data) {
  auto* self = static_cast<X11Picture*>(data);
  const auto* event = static_cast<const XEvent*>(xevent);
  if (event->type != self->x_->completionType) return GDK_FILTER_CONTINUE;
  const auto* done = reinterpret_cast<const XShmCompletionEvent*>(event);
  if (done->drawable != self->x_->pixmap) return GDK_FILTER_CONTINUE;
  self->uploading_ = false;
  if (self->newerWaiting_) {
    self->newerWaiting_ = false;
    self->showNewest();
  }
  return GDK_FILTER_REMOVE;
}

}  // namespace pelmora::app
