#pragma once
// A scratch directory that is removed with everything in it.
#include <filesystem>
#include <string>
#include <string_view>

namespace pelmora::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string operator/(std::string_view name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

void writeFile(const std::filesystem::path& path, std::string_view content);

}  // namespace pelmora::test
