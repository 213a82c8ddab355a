#include "linux/app/rgba_frame.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace pelmora::app {
namespace {

TEST(RgbaFrame, BytesAreRedGreenBlueOpaqueAndTopByteIgnored) {
  auto frame = std::make_unique<OutputFrame>();
  frame->fill(0);
  (*frame)[0] = 0x00FF8000;
  (*frame)[1] = 0xAB123456;
  (*frame)[kPixelCount - 1] = 0x00010203;
  auto rgba = std::make_unique<RgbaFrame>();
  toRgba(*frame, *rgba);
  EXPECT_EQ(std::vector<std::uint8_t>(rgba->begin(), rgba->begin() + 8),
            (std::vector<std::uint8_t>{0xFF, 0x80, 0x00, 0xFF, 0x12, 0x34, 0x56, 0xFF}));
  EXPECT_EQ(std::vector<std::uint8_t>(rgba->end() - 4, rgba->end()),
            (std::vector<std::uint8_t>{0x01, 0x02, 0x03, 0xFF}));
}

TEST(RgbaFrame, RoundTripAndWrongSizesAreRefused) {
  auto frame = std::make_unique<OutputFrame>();
  for (std::size_t i = 0; i < kPixelCount; ++i) (*frame)[i] = static_cast<std::uint32_t>(i * 2654435761u) & 0xFFFFFF;
  auto rgba = std::make_unique<RgbaFrame>();
  toRgba(*frame, *rgba);
  auto back = std::make_unique<OutputFrame>();
  ASSERT_TRUE(fromRgba(*rgba, *back));
  EXPECT_EQ(*back, *frame);

  back->fill(7);
  EXPECT_FALSE(fromRgba(std::span<const std::uint8_t>(rgba->data(), kRgbaFrameBytes - 1), *back));
  std::vector<std::uint8_t> tooLong(kRgbaFrameBytes + 1, 0);
  EXPECT_FALSE(fromRgba(tooLong, *back));
  EXPECT_EQ((*back)[0], 7u);
}

}  // namespace
}  // namespace pelmora::app
