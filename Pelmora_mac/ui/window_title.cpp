#include "Pelmora_mac/ui/window_title.h"

namespace pelmora::mac {
namespace {

constexpr std::u16string_view kTitlePrefix = u"Pelmora Ver ";
constexpr std::u16string_view kSerialPrefix = u" Serial:";

// The Linux program's words, in its translation.
constexpr std::string_view kEnglishNotices[] = {"Copied to the clipboard", "Saved:", "Not saved:"};
constexpr std::string_view kJapaneseNotices[] = {"クリップボードにコピーしました", "保存先:", "保存できません:"};

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

std::string_view pictureNoticeText(PictureNotice notice, host::UiLanguage language) {
  const auto index = static_cast<std::size_t>(notice);
  return language == host::UiLanguage::Japanese ? kJapaneseNotices[index] : kEnglishNotices[index];
}

}  // namespace pelmora::mac
