#pragma once
// Composes the whole LCD picture from the display model.
#include "core/protocol/lcd_model.h"
#include "core/render/lcd_canvas.h"

namespace pelmora {

// Draws and returns true; returns false and leaves the canvas untouched when
// the model holds no FRAME together with the STATE it names.
bool renderLcd(LcdCanvas& canvas, const LcdModel& model);

}  // namespace pelmora
