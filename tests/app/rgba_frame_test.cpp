#include "linux/app/rgba_frame.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace pelmora::app {
namespace {

TEST(RgbaFrame, BridgeBytesComeBackAsTheSameWords) {
  auto frame = std::make_unique<OutputFrame>();
  for (std::size_t i = 0; i < kPixelCount; ++i) (*frame)[i] = static_cast<std::uint32_t>(i * 2654435761u) & 0xFFFFFF;
  auto rgba = std::make_unique<RgbaFrame>();
  frameToRgba(*frame, rgba->data());
  auto back = std::make_unique<OutputFrame>();
  ASSERT_TRUE(fromRgba(*rgba, *back));
  EXPECT_EQ(*back, *frame);
}

TEST(RgbaFrame, AlphaIsIgnoredAndWrongSizesAreRefused) {
  std::vector<std::uint8_t> bytes(kRgbaFrameBytes, 0);
  bytes[0] = 0xFF;
  bytes[1] = 0x80;
  bytes[3] = 0x12;  // a stray alpha must not leak into the unused top byte
  auto out = std::make_unique<OutputFrame>();
  ASSERT_TRUE(fromRgba(bytes, *out));
  EXPECT_EQ((*out)[0], 0x00FF8000u);

  out->fill(7);
  EXPECT_FALSE(fromRgba(std::span<const std::uint8_t>(bytes.data(), kRgbaFrameBytes - 1), *out));
  bytes.push_back(0);
  EXPECT_FALSE(fromRgba(bytes, *out));
  EXPECT_EQ((*out)[0], 7u);
}

}  // namespace
}  // namespace pelmora::app
