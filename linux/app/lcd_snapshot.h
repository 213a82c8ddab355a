#pragma once
// The picture leaves the window unscaled, 320 x 170, through the clipboard
// or a PNG file.
#include <string>

#include "core/render/lcd_canvas.h"

namespace pelmora::app {

void copyFrameToClipboard(const OutputFrame& frame);

// Writes a PNG; on failure returns false with a short reason in `error`.
bool saveFrameAsPng(const OutputFrame& frame, const std::string& path, std::string& error);

// The folder Ctrl+S saves into: the user's Pictures folder when it exists,
// otherwise the home folder.
std::string snapshotFolder();

}  // namespace pelmora::app
