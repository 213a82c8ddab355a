#include "core/render/display_pages.h"

#include "core/protocol/wire_format.h"
#include "core/render/meter_pages.h"
#include "core/render/note_pages.h"
#include "core/render/signal_pages.h"

namespace pelmora {
namespace {

using PagePainter = void (*)(LcdCanvas&, const LcdModel&);

struct PagePainters {
  PagePainter base;
  PagePainter content;
};

constexpr PagePainters kPages[kModeCount] = {
    {drawMetersBase, drawMetersContent},     {drawFaceBase, drawFaceContent},
    {drawPianoRollBase, drawPianoRollContent}, {drawScopeBase, drawScopeContent},
    {drawPictureBase, drawPictureContent},   {drawChannelsBase, drawChannelsContent},
    {drawSpectrumBase, drawSpectrumContent},
};

// Pages read their payload and the STATE at fixed offsets; a buffer too short
// for that layout gets no page rather than an out-of-bounds read.
bool pageInputsPresent(const LcdModel& model, std::uint8_t mode) {
  if (mode >= kModeCount) return false;
  return model.stateMessage.size() >= kStateLength &&
         model.frameMessage.size() >= kFramePayloadOffset + kModePayloadLength[mode];
}

}  // namespace

void drawPageBase(LcdCanvas& canvas, const LcdModel& model, std::uint8_t mode) {
  if (pageInputsPresent(model, mode)) kPages[mode].base(canvas, model);
}

void drawPageContent(LcdCanvas& canvas, const LcdModel& model, std::uint8_t mode) {
  if (pageInputsPresent(model, mode)) kPages[mode].content(canvas, model);
}

}  // namespace pelmora
