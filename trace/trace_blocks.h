#pragma once
// The records of a trace lie in blocks, each with a check, so that a byte a
// disk, a copy or a mail changed is told as damage where it lies instead of
// reaching the replay as a session that went differently. The writer makes
// one block of each batch it hands to the disk, so a record may run on from
// one block into the next; a program killed while it recorded leaves at
// worst its last block short, which the reader tells from damage: the
// header of a block has a check of its own.
//
// A block: payload length (u32), CRC-32 of the payload (u32), CRC-32 of
// these 8 bytes (u32), then the payload. Integers are little-endian.
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace pelmora::trace {

inline constexpr std::size_t kBlockHeaderBytes = 12;
// Far more than the writer puts in one block; a longer block is damage.
inline constexpr std::size_t kMaxBlockPayload = std::size_t{1} << 20;

// CRC-32 as in zlib and PNG.
std::uint32_t crc32(std::span<const std::uint8_t> bytes);

// Fills in the header of `block`: its first kBlockHeaderBytes, for the
// payload after them.
void sealBlock(std::span<std::uint8_t> block);
// Appends `payload` to `file` as one block.
void appendBlock(std::vector<std::uint8_t>& file, std::span<const std::uint8_t> payload);

// The payloads of a file's whole blocks, joined, and where each lay in the
// file, so that an offset in the payload can be named in the file.
struct TraceBlocks {
  struct Start {
    std::size_t payload;  // offset in `payload`
    std::size_t file;     // offset of the same byte in the file
  };
  std::vector<std::uint8_t> payload;
  std::vector<Start> starts;
  std::size_t end = 0;  // where the whole blocks end in the file
  bool cut = false;     // the file ends inside its last block
  std::string damage;   // the first block that fails its check; empty when none

  // Where the payload's byte at `offset` lies in the file; the end of the
  // payload maps to the end of the last whole block.
  std::size_t fileOffset(std::size_t offset) const;
};

// Reads the blocks from `begin` (the end of the file's header) to the end.
TraceBlocks readBlocks(std::span<const std::uint8_t> file, std::size_t begin);

}  // namespace pelmora::trace
