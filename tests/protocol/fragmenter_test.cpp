#include "sim/fragmenter.h"

#include <gtest/gtest.h>

#include <numeric>
#include <stdexcept>
#include <vector>

namespace pelmora {
namespace {

TEST(Fragmenter, LaysOutReportsAsTheDeviceSendsThem) {
  std::vector<std::uint8_t> message(120);
  std::iota(message.begin(), message.end(), std::uint8_t{1});
  const auto reports = sim::fragmentMessage(2, 0x0A0B0C0D, message);
  ASSERT_EQ(reports.size(), 3u);
  for (std::size_t i = 0; i < reports.size(); ++i) {
    const Report& r = reports[i];
    EXPECT_EQ(std::vector<std::uint8_t>(r.begin(), r.begin() + kFragmentDataOffset),
              (std::vector<std::uint8_t>{1, 2, 0x0D, 0x0C, 0x0B, 0x0A, static_cast<std::uint8_t>(i), 3}));
    for (std::size_t d = 0; d < kFragmentDataLength; ++d) {
      const std::size_t at = i * kFragmentDataLength + d;
      EXPECT_EQ(r[kFragmentDataOffset + d], at < message.size() ? message[at] : 0) << i << ":" << d;
    }
  }
  EXPECT_EQ(sim::buildFragment(2, 0x0A0B0C0D, message, 1), reports[1]);
}

TEST(Fragmenter, CountsAndLimits) {
  EXPECT_EQ(sim::fragmentCountFor(0), 1u);
  EXPECT_EQ(sim::fragmentCountFor(56), 1u);
  EXPECT_EQ(sim::fragmentCountFor(57), 2u);
  EXPECT_EQ(sim::fragmentCountFor(715), 13u);
  EXPECT_EQ(sim::fragmentMessage(4, 1, {}).size(), 1u);
  const std::vector<std::uint8_t> tooLong(256 * kFragmentDataLength);
  EXPECT_THROW(sim::fragmentMessage(1, 1, tooLong), std::invalid_argument);
  const std::vector<std::uint8_t> small(10);
  EXPECT_THROW(sim::buildFragment(1, 1, small, 1), std::invalid_argument);
}

}  // namespace
}  // namespace pelmora
