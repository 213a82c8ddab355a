#pragma once
// The menu texts in the user's language, chosen by the locale the usual
// way (LANGUAGE, LC_ALL, LC_MESSAGES, LANG). Message ids are English; the
// catalogues live in po/ and are installed under <prefix>/share/locale. A
// program started from its build folder uses the catalogues built beside it.
namespace pelmora::app {

inline constexpr const char* kTextDomain = "pelmora";

// Once, before any text is looked up.
void setUpTranslations();
// The text for the user's language; `english` itself when there is none.
const char* tr(const char* english);

}  // namespace pelmora::app
