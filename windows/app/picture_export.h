#pragma once
// The picture leaves the window at the scale it is shown: on the clipboard
// as a device-independent bitmap, or as a PNG file in the user's Pictures
// folder.
#include <windows.h>

#include <string>

#include "core/render/lcd_canvas.h"

namespace pelmora::winapp {

// False when the clipboard could not be had (another program holds it).
bool copyPictureToClipboard(HWND window, const OutputFrame& frame, int scale);

// A new file in the Pictures folder (the profile folder where there is
// none); on success its path, on failure a short reason in `error`.
bool savePictureInPictures(const OutputFrame& frame, int scale, std::wstring& path, std::string& error);

}  // namespace pelmora::winapp
