#pragma once
// The signal pages: the oscilloscope trace and the spectrum with its
// scrolling history. The caller has checked that the model's messages are
// long enough for the page.
#include "core/protocol/lcd_model.h"
#include "core/render/lcd_canvas.h"

namespace pelmora {

void drawScopeBase(LcdCanvas& canvas, const LcdModel& model);
void drawScopeContent(LcdCanvas& canvas, const LcdModel& model);
void drawSpectrumBase(LcdCanvas& canvas, const LcdModel& model);
void drawSpectrumContent(LcdCanvas& canvas, const LcdModel& model);

}  // namespace pelmora
