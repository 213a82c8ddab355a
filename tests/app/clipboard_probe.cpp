// Prints the size of the image on the clipboard ("320x170"), or "none", so
// the window test can check what Ctrl+C put there.
#include <gtk/gtk.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (!gtk_init_check(&argc, &argv)) return 1;
  GdkPixbuf* image = gtk_clipboard_wait_for_image(gtk_clipboard_get(GDK_SELECTION_CLIPBOARD));
  if (!image) {
    std::puts("none");
    return 0;
  }
  std::printf("%dx%d\n", gdk_pixbuf_get_width(image), gdk_pixbuf_get_height(image));
  g_object_unref(image);
  return 0;
}
