#include "Pelmora_mac/ui/menu_states.h"

namespace pelmora::mac {

std::optional<bool> itemChecked(MenuAction action, long tag, int scale, bool topmost) {
  switch (action) {
    case MenuAction::ChangeScale:
      return tag == scale;
    case MenuAction::ToggleTopmost:
      return topmost;
    default:
      return std::nullopt;
  }
}

std::optional<bool> windowItemEnabled(MenuAction action, bool visible, bool miniaturized) {
  switch (action) {
    case MenuAction::PerformClose:
      return visible || miniaturized;
    case MenuAction::PerformMiniaturize:
      return visible && !miniaturized;
    default:
      return std::nullopt;
  }
}

long levelForTopmost(bool topmost, const WindowLevels& levels) { return topmost ? levels.floating : levels.normal; }

std::optional<long> levelToRestoreAfterMiniaturize(long currentLevel, const WindowLevels& levels) {
  if (currentLevel == levels.normal) return std::nullopt;
  return currentLevel;
}

}  // namespace pelmora::mac
