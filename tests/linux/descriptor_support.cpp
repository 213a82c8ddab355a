#include "descriptor_support.h"

#include <initializer_list>

namespace pelmora::test {

std::vector<std::uint8_t> makeDescriptor(const DescriptorShape& s) {
  std::vector<std::uint8_t> d = {
      0x06, static_cast<std::uint8_t>(s.usagePage), static_cast<std::uint8_t>(s.usagePage >> 8),
      0x09, s.usage,         // Usage
      0xA1, 0x01,            // Collection (Application)
      0x15, 0x00,            // Logical Minimum 0
      0x26, 0xFF, 0x00,      // Logical Maximum 255
      0x75, 0x08,            // Report Size 8
  };
  // Byte by byte: gcc 12 at -O3 misreads an initializer-list insert here as
  // an out-of-bounds copy.
  auto append = [&](std::initializer_list<std::uint8_t> bytes) {
    for (std::uint8_t b : bytes) d.push_back(b);
  };
  auto report = [&](std::uint8_t id, std::uint8_t payload, std::uint8_t mainItem) {
    if (s.numbered) append({0x85, id});
    append({0x95, payload, 0x09, 0x01, mainItem, 0x02});
  };
  report(1, s.inputPayload, 0x81);    // Input
  report(2, s.featurePayload, 0xB1);  // Feature
  d.push_back(0xC0);                  // End Collection
  return d;
}

}  // namespace pelmora::test
