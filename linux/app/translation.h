#pragma once
// The menu and title texts in the user's language, chosen by the locale the
// usual way (LANGUAGE, LC_ALL, LC_MESSAGES, LANG). Message ids are English;
// the catalogues live in po/ and are installed under <prefix>/share/locale.
#include <filesystem>
#include <string>

namespace pelmora::app {

inline constexpr const char* kTextDomain = "pelmora";

// Marks a text for the catalogues where it is defined, so that xgettext
// finds it (po/pelmora.pot is made with
//   xgettext --keyword=translatable --from-code=UTF-8 --add-comments
//            -o po/pelmora.pot linux/app/*.cpp
// ); tr() looks it up where it is shown.
constexpr const char* translatable(const char* english) { return english; }

// Where the catalogues of a program at `program` are: beside it in a build
// folder, else the install's locale folder relative to it, else the
// compiled-in one.
std::string catalogueDirFor(const std::filesystem::path& program);

// Once, before any text is looked up.
void setUpTranslations();
// The text for the user's language; `english` itself when there is none.
const char* tr(const char* english);

}  // namespace pelmora::app
