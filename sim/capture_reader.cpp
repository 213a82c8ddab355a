#include "sim/capture_reader.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

namespace pelmora::sim {
namespace {

constexpr std::size_t kReadChunk = 1 << 16;
constexpr char kCaptureMagicText[] = "PLMCAP01";

CaptureReadResult refuse(std::string why) {
  CaptureReadResult result;
  result.error = std::move(why);
  return result;
}

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

}  // namespace

CaptureReadResult readCapture(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kCaptureHeaderLength) return refuse("not a capture file (too short for its header)");
  const std::size_t tail = (bytes.size() - kCaptureHeaderLength) % kCaptureRecordLength;
  // The strict parser checks the header; only whole records go to it.
  const auto whole = bytes.first(bytes.size() - tail);
  std::optional<Capture> capture = parseCapture(whole);
  if (!capture) {
    const bool ourMagic = std::memcmp(bytes.data(), kCaptureMagicText, sizeof kCaptureMagicText - 1) == 0;
    return refuse(ourMagic ? "a capture of another version or report length" : "not a capture file");
  }
  if (capture->empty()) return refuse("the capture holds no reports");
  for (std::size_t i = 1; i < capture->size(); ++i) {
    if ((*capture)[i].timeMs < (*capture)[i - 1].timeMs) {
      return refuse("corrupt capture: record " + std::to_string(i + 1) + " is older than the one before it");
    }
  }
  CaptureReadResult result;
  result.capture = std::move(capture);
  result.tornBytes = tail;
  return result;
}

CaptureReadResult readCaptureFile(const std::string& path) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return refuse("cannot open " + path + ": " + std::strerror(errno));
  std::vector<std::uint8_t> bytes;
  std::vector<std::uint8_t> chunk(kReadChunk);
  for (;;) {
    const std::size_t n = std::fread(chunk.data(), 1, chunk.size(), file.get());
    if (bytes.size() + n > kCaptureMaxFileBytes) return refuse(path + ": too large for a capture");
    bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n));
    if (n < chunk.size()) break;
  }
  if (std::ferror(file.get())) return refuse("cannot read " + path);
  CaptureReadResult result = readCapture(bytes);
  if (!result.capture) result.error = path + ": " + result.error;
  return result;
}

}  // namespace pelmora::sim
