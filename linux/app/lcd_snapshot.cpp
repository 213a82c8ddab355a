#include "linux/app/lcd_snapshot.h"

#include <gtk/gtk.h>

#include <cstring>
#include <memory>
#include <vector>

#include "bridge/session_bridge.h"
#include "host/screenshot_name.h"

namespace pelmora::app {
namespace {

constexpr int kBitsPerSample = 8;

struct PixbufUnref {
  void operator()(GdkPixbuf* p) const { g_object_unref(p); }
};
using PixbufPtr = std::unique_ptr<GdkPixbuf, PixbufUnref>;

// An owned pixbuf: the clipboard keeps it after we return. Copying and
// saving are rare, so the words are turned into R, G, B, A bytes only here.
PixbufPtr makePixbuf(const OutputFrame& frame) {
  PixbufPtr pixbuf(gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, kBitsPerSample, kCanvasWidth, kCanvasHeight));
  if (!pixbuf) return pixbuf;
  const auto stride = static_cast<std::size_t>(gdk_pixbuf_get_rowstride(pixbuf.get()));
  guchar* pixels = gdk_pixbuf_get_pixels(pixbuf.get());
  if (stride == kRgbaRowBytes) {
    frameToRgba(frame, pixels);
    return pixbuf;
  }
  std::vector<std::uint8_t> rgba(kRgbaFrameBytes);
  frameToRgba(frame, rgba.data());
  for (std::size_t y = 0; y < static_cast<std::size_t>(kCanvasHeight); ++y) {
    std::memcpy(pixels + y * stride, rgba.data() + y * kRgbaRowBytes, kRgbaRowBytes);
  }
  return pixbuf;
}

}  // namespace

void copyFrameToClipboard(const OutputFrame& frame) {
  PixbufPtr pixbuf = makePixbuf(frame);
  if (!pixbuf) return;
  GtkClipboard* clipboard = gtk_clipboard_get(GDK_SELECTION_CLIPBOARD);
  gtk_clipboard_set_image(clipboard, pixbuf.get());
  // Lets a clipboard manager keep the picture after the program has ended.
  gtk_clipboard_set_can_store(clipboard, nullptr, 0);
}

bool saveFrameAsPng(const OutputFrame& frame, const std::string& path, std::string& error) {
  PixbufPtr pixbuf = makePixbuf(frame);
  if (!pixbuf) {
    error = "out of memory";
    return false;
  }
  GError* failure = nullptr;
  if (!gdk_pixbuf_save(pixbuf.get(), path.c_str(), "png", &failure, nullptr)) {
    error = failure ? failure->message : "write failed";
    if (failure) g_error_free(failure);
    return false;
  }
  return true;
}

std::string snapshotFolder() {
  const char* pictures = g_get_user_special_dir(G_USER_DIRECTORY_PICTURES);
  if (pictures && !g_file_test(pictures, G_FILE_TEST_IS_DIR)) pictures = nullptr;
  return host::screenshotFolder(pictures, g_get_home_dir());
}

}  // namespace pelmora::app
