#include "linux/app/translation.h"

#include <libintl.h>

#include <clocale>
#include <system_error>

namespace pelmora::app {
namespace {

bool holdsCatalogues(const std::filesystem::path& dir) {
  std::error_code error;
  return std::filesystem::is_directory(dir / "ja" / "LC_MESSAGES", error);
}

}  // namespace

std::string catalogueDirFor(const std::filesystem::path& program) {
  // Run from the build folder: the catalogues are built beside the program.
  const std::filesystem::path beside = program.parent_path() / "locale";
  if (holdsCatalogues(beside)) return beside.string();
  // Installed: where the install put them relative to the program, which
  // also holds when a package was built for another prefix than the build's.
  const std::filesystem::path installed = (program.parent_path() / PELMORA_LOCALEDIR_FROM_BINDIR).lexically_normal();
  if (holdsCatalogues(installed)) return installed.string();
  return PELMORA_LOCALEDIR;
}

void setUpTranslations() {
  std::setlocale(LC_ALL, "");
  std::error_code error;
  const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
  const std::string dir = error ? std::string(PELMORA_LOCALEDIR) : catalogueDirFor(program);
  bindtextdomain(kTextDomain, dir.c_str());
  bind_textdomain_codeset(kTextDomain, "UTF-8");
  textdomain(kTextDomain);
}

const char* tr(const char* english) { return dgettext(kTextDomain, english); }

}  // namespace pelmora::app
