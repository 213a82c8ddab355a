#include "linux/app/translation.h"

#include <libintl.h>
#include <unistd.h>

#include <clocale>
#include <filesystem>
#include <system_error>

namespace pelmora::app {
namespace {

// The catalogues built beside the program, when it runs from the build
// folder; empty otherwise.
std::string localeDirBesideProgram() {
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return {};
  const std::filesystem::path beside = program.parent_path() / "locale";
  return std::filesystem::is_directory(beside / "ja" / "LC_MESSAGES", error) ? beside.string() : std::string();
}

}  // namespace

void setUpTranslations() {
  std::setlocale(LC_ALL, "");
  const std::string beside = localeDirBesideProgram();
  bindtextdomain(kTextDomain, beside.empty() ? PELMORA_LOCALEDIR : beside.c_str());
  bind_textdomain_codeset(kTextDomain, "UTF-8");
  textdomain(kTextDomain);
}

const char* tr(const char* english) { return dgettext(kTextDomain, english); }

}  // namespace pelmora::app
