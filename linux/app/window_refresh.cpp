#include "linux/app/window_refresh.h"

#include "linux/app/window_title.h"

namespace pelmora::app {

WindowRefresh::WindowRefresh(SessionBridge& session, OutputFrame& picture) : session_(session), picture_(picture) {
  rebuildTitle();
}

WindowRefresh::Changes WindowRefresh::refresh() {
  Changes changes;
  changes.picture = session_.takeFrame(picture_);
  changes.title = refreshTitle();
  return changes;
}

bool WindowRefresh::refreshTitle() {
  if (!session_.takeSerial(serial_)) return false;
  rebuildTitle();
  return true;
}

void WindowRefresh::showNotice(std::string_view notice) {
  notice_ = notice;
  rebuildTitle();
}

bool WindowRefresh::clearNotice() {
  if (notice_.empty()) return false;
  notice_.clear();
  rebuildTitle();
  return true;
}

void WindowRefresh::setLabel(std::string_view label) {
  label_ = label;
  rebuildTitle();
}

void WindowRefresh::rebuildTitle() {
  if (label_.empty()) {
    title_ = titleWithNotice(serial_, notice_);
  } else {
    title_ = titleWithNotice(serial_, notice_.empty() ? label_ : label_ + " " + notice_);
  }
}

}  // namespace pelmora::app
