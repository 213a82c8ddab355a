#include "host/window_title.h"

namespace pelmora::host {

std::u16string windowTitle(std::u16string_view serial, std::u16string_view notice) {
  std::u16string title(kTitleBase);
  if (!serial.empty()) {
    title += kSerialLabel;
    title += serial;
  }
  if (!notice.empty()) {
    title += u' ';
    title += notice;
  }
  return title;
}

}  // namespace pelmora::host
