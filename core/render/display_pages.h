#pragma once
// The seven pages of the main area, selected by the FRAME's mode byte.
#include <cstdint>

#include "core/protocol/lcd_model.h"
#include "core/render/lcd_canvas.h"

namespace pelmora {

// Drawn after the background and before the side-bar backgrounds. A mode of
// 7 or more draws nothing.
void drawPageBase(LcdCanvas& canvas, const LcdModel& model, std::uint8_t mode);
// Drawn after the side-bar backgrounds and before the side bars.
void drawPageContent(LcdCanvas& canvas, const LcdModel& model, std::uint8_t mode);

}  // namespace pelmora
