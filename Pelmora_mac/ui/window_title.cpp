#include "Pelmora_mac/ui/window_title.h"

namespace pelmora::mac {
namespace {

constexpr std::u16string_view kTitlePrefix = u"Pelmora Ver ";
constexpr std::u16string_view kSerialPrefix = u" Serial:";

}  // namespace

std::u16string chooseVersion(std::optional<std::u16string_view> infoValue) {
  if (!infoValue || infoValue->empty()) return std::u16string(kDefaultVersion);
  return std::u16string(*infoValue);
}

std::u16string windowTitle(std::u16string_view version, std::u16string_view serial) {
  std::u16string title(kTitlePrefix);
  title += version;
  if (!serial.empty()) {
    title += kSerialPrefix;
    title += serial;
  }
  return title;
}

}  // namespace pelmora::mac
