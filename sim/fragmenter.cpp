#include "sim/fragmenter.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "core/protocol/byte_order.h"

namespace pelmora::sim {

std::size_t fragmentCountFor(std::size_t messageLength) {
  return std::max<std::size_t>(1, (messageLength + kFragmentDataLength - 1) / kFragmentDataLength);
}

Report buildFragment(std::uint8_t kind, std::uint32_t transferNumber,
                     std::span<const std::uint8_t> message, std::size_t index) {
  const std::size_t count = fragmentCountFor(message.size());
  if (count > std::numeric_limits<std::uint8_t>::max()) {
    throw std::invalid_argument("message too long to fragment");
  }
  if (index >= count) {
    throw std::invalid_argument("fragment index out of range");
  }
  Report report{};
  report[0] = kInputReportId;
  report[kFragmentKindOffset] = kind;
  writeU32(&report[kFragmentTransferOffset], transferNumber);
  report[kFragmentIndexOffset] = static_cast<std::uint8_t>(index);
  report[kFragmentCountOffset] = static_cast<std::uint8_t>(count);
  const std::size_t begin = std::min(index * kFragmentDataLength, message.size());
  const std::size_t end = std::min(begin + kFragmentDataLength, message.size());
  std::copy(message.begin() + static_cast<std::ptrdiff_t>(begin),
            message.begin() + static_cast<std::ptrdiff_t>(end), report.begin() + kFragmentDataOffset);
  return report;
}

std::vector<Report> fragmentMessage(std::uint8_t kind, std::uint32_t transferNumber,
                                    std::span<const std::uint8_t> message) {
  const std::size_t count = fragmentCountFor(message.size());
  std::vector<Report> reports;
  reports.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    reports.push_back(buildFragment(kind, transferNumber, message, i));
  }
  return reports;
}

}  // namespace pelmora::sim
