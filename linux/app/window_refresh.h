#pragma once
// What the window takes from its session when told that something changed,
// kept apart from the toolkit: the newest frame, copied straight into the
// buffer the window paints from, and the title, which names the device in
// use and, for a while, a notice. Nothing here allocates unless the title
// changes.
#include <string>
#include <string_view>

#include "bridge/session_bridge.h"
#include "core/render/lcd_canvas.h"

namespace pelmora::app {

class WindowRefresh {
 public:
  struct Changes {
    bool picture = false;
    bool title = false;
  };

  // `picture` must outlive this object; refresh writes the newest frame
  // into it.
  WindowRefresh(SessionBridge& session, OutputFrame& picture);

  Changes refresh();
  // Only the title, for a window whose frames come another way; true when
  // it changed.
  bool refreshTitle();
  // The title shows `notice` after the serial until clearNotice.
  void showNotice(std::string_view notice);
  // True when a notice was shown (the title changed).
  bool clearNotice();
  // Follows the serial for good, before any notice (what a replay shows).
  void setLabel(std::string_view label);

  const std::string& title() const { return title_; }

 private:
  void rebuildTitle();

  SessionBridge& session_;
  OutputFrame& picture_;
  std::u16string serial_;
  std::string label_;
  std::string notice_;
  std::string title_;
};

}  // namespace pelmora::app
