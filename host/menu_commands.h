#pragma once
// The context menu's command IDs and what each one asks for.
namespace pelmora::host {

inline constexpr int kCommandScaleFirst = 40001;  // "1x"; "6x" is 40006
inline constexpr int kCommandScaleLast = 40006;
inline constexpr int kCommandExit = 40010;
inline constexpr int kCommandTopmost = 40011;
inline constexpr int kCommandCopyPicture = 40012;
inline constexpr int kCommandSavePicture = 40013;

enum class MenuAction { None, SetScale, ToggleTopmost, CopyPicture, SavePicture, Exit };

struct MenuChoice {
  MenuAction action = MenuAction::None;
  int scale = 0;  // only for SetScale
  bool operator==(const MenuChoice&) const = default;
};

// The command of a scale's menu item; the scale must be valid.
int commandForScale(int scale);
// Unknown IDs ask for nothing.
MenuChoice menuChoice(int command);

}  // namespace pelmora::host
