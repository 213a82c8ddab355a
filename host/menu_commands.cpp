#include "host/menu_commands.h"

#include "host/window_geometry.h"

namespace pelmora::host {

static_assert(kCommandScaleLast - kCommandScaleFirst == kMaxScale - kMinScale, "one command per scale");

int commandForScale(int scale) { return kCommandScaleFirst + scale - kMinScale; }

MenuChoice menuChoice(int command) {
  if (command >= kCommandScaleFirst && command <= kCommandScaleLast) {
    return {MenuAction::SetScale, command - kCommandScaleFirst + kMinScale};
  }
  if (command == kCommandTopmost) return {MenuAction::ToggleTopmost, 0};
  if (command == kCommandCopyPicture) return {MenuAction::CopyPicture, 0};
  if (command == kCommandSavePicture) return {MenuAction::SavePicture, 0};
  if (command == kCommandExit) return {MenuAction::Exit, 0};
  return {};
}

}  // namespace pelmora::host
