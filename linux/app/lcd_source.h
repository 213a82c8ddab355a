#pragma once
// What the window needs from whatever produces LCD pictures: the newest
// frame when there is one, the serial of the device in use, and a way to
// pass on a system resume. Polled from the user interface thread only.
#include <string>

#include "core/render/lcd_canvas.h"

namespace pelmora::app {

class ILcdSource {
 public:
  virtual ~ILcdSource() = default;
  // Copies the newest frame into `out` when one arrived since the last
  // call; false leaves `out` alone.
  virtual bool takeFrame(OutputFrame& out) = 0;
  virtual std::u16string serial() = 0;
  virtual void resume() = 0;
};

}  // namespace pelmora::app
