#pragma once
// The LCD window's context menu: scale 1x..6x with a radio mark on the
// current one, always-on-top with a check mark, and exit, in the user's
// language. Built anew each time it opens, so the marks always show the
// window's present state.
#include <gtk/gtk.h>

#include <functional>

namespace pelmora::app {

struct MenuActions {
  std::function<void(int scale)> setScale;
  std::function<void()> toggleTopmost;
  std::function<void()> exit;
};

// Scales above `largestUsableScale` are listed but cannot be chosen; without
// `topmostAvailable` the always-on-top item says why it cannot be either.
// The caller owns the returned menu and destroys it; `actions` must outlive it.
GtkWidget* buildContextMenu(int scale, int largestUsableScale, bool topmost, const MenuActions& actions,
                            bool topmostAvailable = true);

}  // namespace pelmora::app
