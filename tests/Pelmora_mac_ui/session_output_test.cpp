// What a session hands the user interface: statistics and frames.
#include <gtest/gtest.h>

#include "Pelmora_mac/ui/frame_image.h"
#include "Pelmora_mac/ui/statistics_fields.h"

namespace pelmora::mac {
namespace {

TEST(StatisticsFields, NineKeysCountersWideAndBitSetsNarrow) {
  const SessionStatistics statistics{1, 2, 3, 4, 5, 6, 33, 2, 3};
  const auto fields = statisticsFields(statistics);
  const char* const keys[] = {"frames",   "states",     "images", "sessions",   "heartbeats",
                              "failures", "modes",      "languages", "debugStates"};
  const std::uint64_t values[] = {1, 2, 3, 4, 5, 6, 33, 2, 3};
  for (std::size_t i = 0; i < fields.size(); ++i) {
    EXPECT_EQ(fields[i].key, keys[i]);
    EXPECT_EQ(fields[i].value, values[i]) << keys[i];
    EXPECT_EQ(fields[i].kind, i < 6 ? NumberKind::Unsigned64 : NumberKind::Unsigned32) << keys[i];
  }
}

TEST(FrameImage, OnlyAWholeFrameOfRgbaRowsIsAccepted) {
  const FrameImageLayout layout = frameImageLayout();
  EXPECT_EQ(layout.width, 320u);
  EXPECT_EQ(layout.height, 170u);
  EXPECT_EQ(layout.bitsPerComponent, 8u);
  EXPECT_EQ(layout.bitsPerPixel, 32u);
  EXPECT_EQ(layout.bytesPerRow, 1280u);
  EXPECT_EQ(layout.bitmapInfo, 3u);
  EXPECT_TRUE(isWholeFrame(217600));
  EXPECT_TRUE(isWholeFrame(layout.bytesPerRow * layout.height));
  for (std::size_t bytes : {0ul, 217599ul, 217601ul, 54400ul}) EXPECT_FALSE(isWholeFrame(bytes)) << bytes;
}

}  // namespace
}  // namespace pelmora::mac
