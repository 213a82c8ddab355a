#pragma once
// What discovery needs from a binary HID report descriptor: the usage of the
// top-level collection and the longest input and feature report. hidraw
// exposes the descriptor as the device sent it, so it is hostile input.
#include <cstddef>
#include <cstdint>

namespace pelmora {

struct ReportDescriptorSummary {
  bool wellFormed = false;          // every item complete, collections balanced
  std::size_t topLevelCollections = 0;
  std::uint16_t usagePage = 0;      // of the first top-level collection
  std::uint16_t usage = 0;
  // Longest report of each kind in bytes, counting the report-ID byte even
  // when the device numbers no reports (the convention of HID capability
  // lengths elsewhere); 0 when the descriptor declares none.
  std::uint64_t inputReportLength = 0;
  std::uint64_t featureReportLength = 0;
};

// Reads nothing beyond `length` bytes and visits each byte at most once.
ReportDescriptorSummary parseReportDescriptor(const std::uint8_t* bytes, std::size_t length);

}  // namespace pelmora
