#include "trace/trace_blocks.h"

#include <algorithm>
#include <array>
#include <iterator>

#include "core/protocol/byte_order.h"

namespace pelmora::trace {
namespace {

constexpr std::uint32_t kCrcPolynomial = 0xEDB88320;  // bit-reversed, as zlib
constexpr std::uint32_t kCrcInvert = 0xFFFFFFFF;
constexpr std::size_t kLengthOffset = 0;
constexpr std::size_t kPayloadCheckOffset = 4;
constexpr std::size_t kHeaderCheckOffset = 8;

constexpr std::array<std::uint32_t, 256> makeCrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < table.size(); ++i) {
    std::uint32_t c = i;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) != 0 ? kCrcPolynomial ^ (c >> 1) : c >> 1;
    table[i] = c;
  }
  return table;
}

constexpr std::array<std::uint32_t, 256> kCrcTable = makeCrcTable();

std::string mismatch(std::size_t at) { return "the block at byte " + std::to_string(at) + " does not match its check"; }

}  // namespace

std::uint32_t crc32(std::span<const std::uint8_t> bytes) {
  std::uint32_t c = kCrcInvert;
  for (std::uint8_t b : bytes) c = kCrcTable[(c ^ b) & 0xFF] ^ (c >> 8);
  return c ^ kCrcInvert;
}

void sealBlock(std::span<std::uint8_t> block) {
  const auto payload = block.subspan(kBlockHeaderBytes);
  writeU32(&block[kLengthOffset], static_cast<std::uint32_t>(payload.size()));
  writeU32(&block[kPayloadCheckOffset], crc32(payload));
  writeU32(&block[kHeaderCheckOffset], crc32(block.first(kHeaderCheckOffset)));
}

void appendBlock(std::vector<std::uint8_t>& file, std::span<const std::uint8_t> payload) {
  const std::size_t begin = file.size();
  file.resize(begin + kBlockHeaderBytes);
  file.insert(file.end(), payload.begin(), payload.end());
  sealBlock(std::span(file).subspan(begin));
}

std::size_t TraceBlocks::fileOffset(std::size_t offset) const {
  const auto after = std::upper_bound(starts.begin(), starts.end(), offset,
                                      [](std::size_t o, const Start& s) { return o < s.payload; });
  if (after == starts.begin()) return end;
  const Start& start = *std::prev(after);
  return start.file + (offset - start.payload);
}

TraceBlocks readBlocks(std::span<const std::uint8_t> file, std::size_t begin) {
  TraceBlocks blocks;
  std::size_t at = begin;
  blocks.payload.reserve(file.size() - std::min(begin, file.size()));
  while (at < file.size()) {
    const auto rest = file.subspan(at);
    if (rest.size() < kBlockHeaderBytes) {
      blocks.cut = true;
      break;
    }
    const std::uint32_t length = readU32(&rest[kLengthOffset]);
    if (crc32(rest.first(kHeaderCheckOffset)) != readU32(&rest[kHeaderCheckOffset]) || length > kMaxBlockPayload) {
      blocks.damage = mismatch(at);
      break;
    }
    if (rest.size() - kBlockHeaderBytes < length) {
      blocks.cut = true;
      break;
    }
    const auto payload = rest.subspan(kBlockHeaderBytes, length);
    if (crc32(payload) != readU32(&rest[kPayloadCheckOffset])) {
      blocks.damage = mismatch(at);
      break;
    }
    blocks.starts.push_back({blocks.payload.size(), at + kBlockHeaderBytes});
    blocks.payload.insert(blocks.payload.end(), payload.begin(), payload.end());
    at += kBlockHeaderBytes + length;
  }
  blocks.end = at;
  return blocks;
}

}  // namespace pelmora::trace
