#pragma once
// The small decisions of the window procedure and the entry function that
// need no Win32 call: how message parameters are read and which values
// count. Numeric values are the system's own, so this builds anywhere.
#include <cstdint>

#include "host/window_geometry.h"

namespace pelmora::winapp {

inline constexpr unsigned kSwShowNormal = 1;
inline constexpr unsigned kSwMaximize = 3;
inline constexpr std::uintptr_t kPbtApmResumeSuspend = 7;
inline constexpr std::uintptr_t kPbtApmResumeAutomatic = 18;
inline constexpr std::uintptr_t kScSize = 0xF000;
inline constexpr std::uintptr_t kScMaximize = 0xF030;

// The window has a fixed size, so it never starts maximised.
int firstShowCommand(int showCommand);

// Signed 16-bit x (low word) and y (high word) of a mouse or menu lParam;
// on a second monitor left of or above the primary they are negative.
host::Point pointFromLParam(std::intptr_t lParam);
// The opposite packing, as WM_NCLBUTTONDOWN takes a screen point.
std::intptr_t lParamFromPoint(host::Point point);

// The menu command a key asks for: Ctrl+C copies the picture, Ctrl+S saves
// it; 0 for any other key or with another modifier held as well.
inline constexpr std::uintptr_t kVkC = 'C';
inline constexpr std::uintptr_t kVkS = 'S';
int pictureKeyCommand(std::uintptr_t virtualKey, bool control, bool otherModifier);

// Resize and maximise are refused: the window's size follows the scale.
bool isSwallowedSysCommand(std::uintptr_t wParam);
// A power broadcast that says the system came back from sleep.
bool isResumeBroadcast(std::uintptr_t wParam);

// The window's outer size at a DPI, given the frame the system draws around
// a client area at that DPI: the picture keeps its physical pixels at every
// DPI, only the frame changes. WM_GETDPISCALEDSIZE is answered with this
// for the new DPI; left to itself the system would scale the whole window
// and suggest a rectangle the window does not take, moving it away from
// the pointer that drags it to the other monitor.
host::Size windowSizeAt(int scale, host::Size frameAtDpi);

}  // namespace pelmora::winapp
