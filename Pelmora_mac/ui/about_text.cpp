#include "Pelmora_mac/ui/about_text.h"

namespace pelmora::mac {

std::string_view aboutCredits() {
  return "Tonverra mini LCD host for macOS\n"
         "Renderer and image assets by the Pelmora developers\n"
         "通信プロトコル 2.0";
}

}  // namespace pelmora::mac
