#include "sim/capture_reader.h"

#include <cstring>

#include "core/protocol/byte_order.h"

namespace pelmora::sim {
namespace {

constexpr char kCaptureMagicText[] = "PLMCAP01";
constexpr std::size_t kCaptureVersionOffset = 8;

CaptureReadResult refuse(std::string why) {
  CaptureReadResult result;
  result.error = std::move(why);
  return result;
}

}  // namespace

CaptureReadResult readCapture(std::span<const std::uint8_t> bytes) {
  if (bytes.size() < kCaptureHeaderLength) return refuse("not a capture file (too short for its header)");
  const std::size_t tail = (bytes.size() - kCaptureHeaderLength) % kCaptureRecordLength;
  // The strict parser checks the header; only whole records go to it.
  const auto whole = bytes.first(bytes.size() - tail);
  std::optional<Capture> capture = parseCapture(whole);
  if (!capture) {
    if (std::memcmp(bytes.data(), kCaptureMagicText, sizeof kCaptureMagicText - 1) != 0) {
      return refuse("not a capture file");
    }
    const std::uint32_t version = readU32(&bytes[kCaptureVersionOffset]);
    return refuse((version != kCaptureVersion ? "a capture of another version (" + std::to_string(version) + ")"
                                              : std::string("a capture of another report length")) +
                  "; replay it with the program that recorded it");
  }
  if (capture->empty()) return refuse("the capture holds no reports; record it again");
  for (std::size_t i = 1; i < capture->size(); ++i) {
    if ((*capture)[i].timeMs < (*capture)[i - 1].timeMs) {
      return refuse("damaged capture: report " + std::to_string(i + 1) +
                    " is older than the one before it; ask for the file again");
    }
  }
  CaptureReadResult result;
  result.capture = std::move(capture);
  result.tornBytes = tail;
  return result;
}

}  // namespace pelmora::sim
