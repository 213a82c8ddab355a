#pragma once
// The picture leaves the window unscaled, 320 x 170, through the clipboard
// or a PNG file.
#include <string>

#include "linux/app/rgba_frame.h"

namespace pelmora::app {

void copyFrameToClipboard(const RgbaFrame& frame);

// Writes a PNG; on failure returns false with a short reason in `error`.
bool saveFrameAsPng(const RgbaFrame& frame, const std::string& path, std::string& error);

// The folder Ctrl+S saves into: the user's Pictures folder when it exists,
// otherwise the home folder.
std::string snapshotFolder();

}  // namespace pelmora::app
