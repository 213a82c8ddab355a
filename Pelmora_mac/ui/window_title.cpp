#include "Pelmora_mac/ui/window_title.h"

namespace pelmora::mac {
namespace {

constexpr std::u16string_view kTitlePrefix = u"Pelmora Ver ";
constexpr std::u16string_view kSerialPrefix = u" Serial:";

// The Linux program's words, in its translation.
constexpr std::string_view kEnglishNotices[] = {"Copied to the clipboard", "Saved:", "Not saved:"};
constexpr std::string_view kJapaneseNotices[] = {"クリップボードにコピーしました", "保存先:", "保存できません:"};

constexpr std::string_view kEnglishReplayOf = "Replay of";
constexpr std::string_view kJapaneseReplayOf = "再生:";
// In the order of trace::ReplayEnding; English is the trace's own words.
constexpr std::string_view kJapaneseEndings[] = {
    "終了", "ファイルが途中で切れているところで終了", "記録が上限に達したところで終了", "停止",
    "停止: 記録したプログラムとこのプログラムが異なります"};

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

std::string replayLabel(std::string_view path, const trace::Recording& trace, host::UiLanguage language) {
  const std::string_view replayOf = language == host::UiLanguage::Japanese ? kJapaneseReplayOf : kEnglishReplayOf;
  return std::string("\xE2\x80\x94 ") + std::string(replayOf) + " " + trace::replaySourceText(path, trace);
}

std::string_view replayEndingText(trace::ReplayEnding ending, host::UiLanguage language) {
  if (language != host::UiLanguage::Japanese) return trace::endingWords(ending);
  return kJapaneseEndings[static_cast<std::size_t>(ending)];
}

}  // namespace pelmora::mac
