#include "Pelmora_mac/ui/statistics_fields.h"

namespace pelmora::mac {
namespace {

// The counters come first, then the bit sets.
constexpr std::size_t kCounterFields = 6;

}  // namespace

std::array<StatisticsField, kStatisticsKeyCount> statisticsFields(const SessionStatistics& statistics) {
  const StatisticsEntries entries = statisticsEntries(statistics);
  std::array<StatisticsField, kStatisticsKeyCount> fields{};
  for (std::size_t i = 0; i < entries.size(); ++i) {
    fields[i] = {entries[i].first, i < kCounterFields ? NumberKind::Unsigned64 : NumberKind::Unsigned32,
                 entries[i].second};
  }
  return fields;
}

}  // namespace pelmora::mac
