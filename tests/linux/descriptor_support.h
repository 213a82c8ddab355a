#pragma once
// Report descriptors as the synthesizer (and its imitators) would send them.
#include <cstdint>
#include <vector>

namespace pelmora::test {

struct DescriptorShape {
  std::uint16_t usagePage = 0xFF00;
  std::uint8_t usage = 1;
  std::uint8_t inputPayload = 63;    // bytes after the report ID
  std::uint8_t featurePayload = 63;
  bool numbered = true;              // report IDs 1 (input) and 2 (feature)
};

std::vector<std::uint8_t> makeDescriptor(const DescriptorShape& shape = {});

}  // namespace pelmora::test
