// Where the program looks for its menu catalogues: beside itself in a build
// folder, else relative to itself as installed, whatever prefix the build
// was configured for.
#include "linux/app/translation.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

namespace pelmora::app {
namespace {

namespace fs = std::filesystem;

TEST(Translation, CataloguesAreFoundBesideOrRelativeToTheProgram) {
  const fs::path root = fs::temp_directory_path() / ("pelmora_locale_" + std::to_string(::getpid()));
  fs::create_directories(root / "build/linux/app/locale/ja/LC_MESSAGES");
  fs::create_directories(root / "usr/share/locale/ja/LC_MESSAGES");
  fs::create_directories(root / "opt/bin");
  EXPECT_EQ(catalogueDirFor(root / "build/linux/app/pelmora"), (root / "build/linux/app/locale").string());
  EXPECT_EQ(catalogueDirFor(root / "usr/bin/pelmora"), (root / "usr/share/locale").string());
  EXPECT_EQ(catalogueDirFor(root / "opt/bin/pelmora").rfind(root.string(), 0), std::string::npos)
      << "nothing there: the folder the build was configured for";
  fs::remove_all(root);
}

}  // namespace
}  // namespace pelmora::app
