#include "temp_dir_support.h"

#include <stdlib.h>

#include <fstream>
#include <stdexcept>

namespace pelmora::test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "pelmora-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

void writeFile(const std::filesystem::path& path, std::string_view content) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
}

}  // namespace pelmora::test
