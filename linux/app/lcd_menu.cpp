#include "linux/app/lcd_menu.h"

#include <string>

#include "linux/app/translation.h"
#include "linux/app/window_geometry.h"

namespace pelmora::app {
namespace {

// English message ids; the user's language comes from the catalogues.
// The submenu of scales 1x to 6x.
constexpr const char* kScaleMenuText = translatable("_Scale");
// Keeps the window above all others.
constexpr const char* kTopmostText = translatable("Always on Top");
// The same item where the display server lets no window keep itself above.
constexpr const char* kTopmostUnavailableText = translatable("Always on Top (not available on Wayland)");
constexpr const char* kExitText = translatable("E_xit");
constexpr const char* kScaleKey = "pelmora-scale";

void onScaleItem(GtkMenuItem* item, gpointer data) {
  // A radio item is also "activated" when it loses its mark to another one;
  // only the item that holds the mark afterwards is the user's choice.
  if (!gtk_check_menu_item_get_active(GTK_CHECK_MENU_ITEM(item))) return;
  const int scale = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(item), kScaleKey));
  static_cast<const MenuActions*>(data)->setScale(scale);
}

void onTopmostItem(GtkMenuItem*, gpointer data) { static_cast<const MenuActions*>(data)->toggleTopmost(); }

void onExitItem(GtkMenuItem*, gpointer data) { static_cast<const MenuActions*>(data)->exit(); }

GtkWidget* buildScaleMenu(int current, int largestUsable, const MenuActions& actions) {
  GtkWidget* menu = gtk_menu_new();
  GSList* group = nullptr;
  for (int scale = kMinScale; scale <= kMaxScale; ++scale) {
    const std::string label = std::to_string(scale) + "x";
    GtkWidget* item = gtk_radio_menu_item_new_with_label(group, label.c_str());
    group = gtk_radio_menu_item_get_group(GTK_RADIO_MENU_ITEM(item));
    gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(item), scale == current);
    // Shown, so the choice is known to exist, but not offered where the
    // window would not fit the screen (the current scale always is).
    gtk_widget_set_sensitive(item, scale <= largestUsable || scale == current);
    g_object_set_data(G_OBJECT(item), kScaleKey, GINT_TO_POINTER(scale));
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
  }
  // Moving the mark to the current scale "activates" the items it passes, so
  // the handlers come only once every mark is in place.
  GList* items = gtk_container_get_children(GTK_CONTAINER(menu));
  for (GList* it = items; it; it = it->next) {
    g_signal_connect(it->data, "activate", G_CALLBACK(onScaleItem), const_cast<MenuActions*>(&actions));
  }
  g_list_free(items);
  return menu;
}

}  // namespace

GtkWidget* buildContextMenu(int scale, int largestUsableScale, bool topmost, const MenuActions& actions,
                            bool topmostAvailable) {
  auto* data = const_cast<MenuActions*>(&actions);
  GtkWidget* menu = gtk_menu_new();

  GtkWidget* scaleItem = gtk_menu_item_new_with_mnemonic(tr(kScaleMenuText));
  gtk_menu_item_set_submenu(GTK_MENU_ITEM(scaleItem), buildScaleMenu(scale, largestUsableScale, actions));
  gtk_menu_shell_append(GTK_MENU_SHELL(menu), scaleItem);

  GtkWidget* topmostItem =
      gtk_check_menu_item_new_with_label(tr(topmostAvailable ? kTopmostText : kTopmostUnavailableText));
  gtk_check_menu_item_set_active(GTK_CHECK_MENU_ITEM(topmostItem), topmost);
  gtk_widget_set_sensitive(topmostItem, topmostAvailable);
  g_signal_connect(topmostItem, "activate", G_CALLBACK(onTopmostItem), data);
  gtk_menu_shell_append(GTK_MENU_SHELL(menu), topmostItem);

  GtkWidget* exitItem = gtk_menu_item_new_with_mnemonic(tr(kExitText));
  g_signal_connect(exitItem, "activate", G_CALLBACK(onExitItem), data);
  gtk_menu_shell_append(GTK_MENU_SHELL(menu), exitItem);

  gtk_widget_show_all(menu);
  return menu;
}

}  // namespace pelmora::app
