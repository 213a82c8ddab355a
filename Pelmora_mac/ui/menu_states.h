#pragma once
// Check marks and enabled states of menu items, and the window levels that
// always-on-top and miniaturising switch between.
#include <optional>

#include "Pelmora_mac/ui/menu_layout.h"

namespace pelmora::mac {

// The check mark of an LCD window controller's item: a scale item is checked
// on the current scale, "常に手前に表示" while topmost. nullopt: not an item
// the controller marks.
std::optional<bool> itemChecked(MenuAction action, long tag, int scale, bool topmost);

// Whether a window enables its close and miniaturise items; nullopt: the
// platform decides.
std::optional<bool> windowItemEnabled(MenuAction action, bool visible, bool miniaturized);

// The platform's window levels, which it knows only at run time.
struct WindowLevels {
  long normal = 0;
  long floating = 0;
};

long levelForTopmost(bool topmost, const WindowLevels& levels);

// The level to put back after the window returns from the Dock; nothing when
// it was normal. A floating window would otherwise float in the Dock.
std::optional<long> levelToRestoreAfterMiniaturize(long currentLevel, const WindowLevels& levels);

}  // namespace pelmora::mac
