#pragma once
// The session statistics as the application publishes them: nine keys, the
// six counters as unsigned 64-bit numbers and the three bit sets as unsigned
// 32-bit numbers.
#include <array>
#include <cstdint>
#include <string_view>

#include "bridge/session_bridge.h"

namespace pelmora::mac {

enum class NumberKind { Unsigned64, Unsigned32 };

struct StatisticsField {
  std::string_view key;
  NumberKind kind;
  std::uint64_t value;
};

std::array<StatisticsField, kStatisticsKeyCount> statisticsFields(const SessionStatistics& statistics);

}  // namespace pelmora::mac
