#pragma once
// The pages built on the 16 x 16 meter grid: meters (wide cells), and face
// and picture (narrow cells beside a 64 x 64 image). The caller has checked
// that the model's messages are long enough for the page.
#include "core/protocol/lcd_model.h"
#include "core/render/lcd_canvas.h"

namespace pelmora {

void drawMetersBase(LcdCanvas& canvas, const LcdModel& model);
void drawMetersContent(LcdCanvas& canvas, const LcdModel& model);
void drawFaceBase(LcdCanvas& canvas, const LcdModel& model);
void drawFaceContent(LcdCanvas& canvas, const LcdModel& model);
void drawPictureBase(LcdCanvas& canvas, const LcdModel& model);
void drawPictureContent(LcdCanvas& canvas, const LcdModel& model);

}  // namespace pelmora
