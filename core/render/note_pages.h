#pragma once
// The note pages: the piano roll with its scrolling history, and the sixteen
// channel rows. The caller has checked that the model's messages are long
// enough for the page.
#include "core/protocol/lcd_model.h"
#include "core/render/lcd_canvas.h"

namespace pelmora {

void drawPianoRollBase(LcdCanvas& canvas, const LcdModel& model);
void drawPianoRollContent(LcdCanvas& canvas, const LcdModel& model);
void drawChannelsBase(LcdCanvas& canvas, const LcdModel& model);
void drawChannelsContent(LcdCanvas& canvas, const LcdModel& model);

}  // namespace pelmora
