#pragma once
// Cuts one device message into the 64-byte input reports the device sends:
// report ID 1, kind, transfer number, fragment index and count, then up to
// 56 message bytes, the rest of the last fragment zero.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/protocol/wire_format.h"

namespace pelmora::sim {

// ceil(length / 56), and at least 1 so that even an empty message travels.
std::size_t fragmentCountFor(std::size_t messageLength);

// Report `index` of the message, without building the others. Throws
// std::invalid_argument when the message needs more than 255 fragments or
// `index` is beyond the last one.
Report buildFragment(std::uint8_t kind, std::uint32_t transferNumber,
                     std::span<const std::uint8_t> message, std::size_t index);

// Every report of the message, in order.
std::vector<Report> fragmentMessage(std::uint8_t kind, std::uint32_t transferNumber,
                                    std::span<const std::uint8_t> message);

}  // namespace pelmora::sim
