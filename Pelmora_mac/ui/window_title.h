#pragma once
// The program's version text and the LCD window's title, which names the
// device in use.
#include <optional>
#include <string>
#include <string_view>

#include "host/ui_language.h"
#include "trace/trace_reader.h"
#include "trace/trace_replay.h"

namespace pelmora::mac {

// The main bundle's Info-dictionary key that may override the version.
inline constexpr const char* kVersionInfoKey = "PelmoraVersion";
inline constexpr std::u16string_view kDefaultVersion = u"2026-10-17";

// The bundle's entry when it is a non-empty string, else the default: an
// empty entry would leave the title and the About panel without a version.
std::u16string chooseVersion(std::optional<std::u16string_view> infoValue);

// "Pelmora Ver <version>", then " Serial:<serial>" when a device is in use.
std::u16string windowTitle(std::u16string_view version, std::u16string_view serial);

enum class PictureNotice { Copied, Saved, NotSaved };
// What the title adds for a few seconds after a copy or a save, in the
// menus' language; "Saved:" is followed by the path, "Not saved:" by why.
std::string_view pictureNoticeText(PictureNotice notice, host::UiLanguage language);

// What follows the serial while a trace replays, in the menus' language:
// "— Replay of NAME (SYSTEM, VERSION)", NAME being the path's last part.
std::string replayLabel(std::string_view path, const trace::Recording& trace, host::UiLanguage language);
// How the replay ended, which follows the label after ": ".
std::string_view replayEndingText(trace::ReplayEnding ending, host::UiLanguage language);

}  // namespace pelmora::mac
