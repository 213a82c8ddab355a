// The embedded face: format rules and whether the parts fit the head.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <vector>

#include "core/assets/face_images.h"

namespace pelmora {
namespace {

namespace a = pelmora::assets;

struct Part {
  const std::uint16_t* pixels;
  int width, height;
  int left, top;  // in head coordinates
};

constexpr int kEyeLeft = 15, kEyeTop = 35;
constexpr int kBrowLeft = 15, kBrowTop = 29;
constexpr int kMouthLeft = 26, kMouthTop = 52;

std::vector<Part> allParts() {
  std::vector<Part> parts;
  for (auto* p : a::eyes) parts.push_back({p, a::kEyeWidth, a::kEyeHeight, kEyeLeft, kEyeTop});
  for (auto* p : a::eyebrows) parts.push_back({p, a::kEyebrowWidth, a::kEyebrowHeight, kBrowLeft, kBrowTop});
  for (auto* p : a::mouths) parts.push_back({p, a::kMouthWidth, a::kMouthHeight, kMouthLeft, kMouthTop});
  return parts;
}

TEST(FaceImages, TablesListTheImagesInIndexOrder) {
  const std::uint16_t* eyes[] = {a::eye_1_blink, a::eye_2_blink, a::eye_3_blink, a::eye_4,
                                 a::eye_5,       a::eye_6,       a::eye_7};
  const std::uint16_t* brows[] = {a::eyebrow_1, a::eyebrow_2, a::eyebrow_3, a::eyebrow_4};
  const std::uint16_t* mouths[] = {a::mouth_default, a::mouth_a, a::mouth_i, a::mouth_u,  a::mouth_e,
                                   a::mouth_o,       a::mouth_peko, a::mouth_blame, a::mouth_mid};
  for (int i = 0; i < a::kEyeCount; ++i) EXPECT_EQ(a::eyes[static_cast<std::size_t>(i)], eyes[i]) << i;
  for (int i = 0; i < a::kEyebrowCount; ++i) EXPECT_EQ(a::eyebrows[static_cast<std::size_t>(i)], brows[i]) << i;
  for (int i = 0; i < a::kMouthCount; ++i) EXPECT_EQ(a::mouths[static_cast<std::size_t>(i)], mouths[i]) << i;
}

TEST(FaceImages, OnlyTheTopFourBitsOfEachChannelAreUsed) {
  auto clean = [](const std::uint16_t* pixels, int count) {
    for (int i = 0; i < count; ++i) {
      if (pixels[i] & 0x0861) return false;
    }
    return true;
  };
  EXPECT_TRUE(clean(a::face_base, a::kFaceBaseWidth * a::kFaceBaseHeight));
  for (const Part& p : allParts()) EXPECT_TRUE(clean(p.pixels, p.width * p.height));
}

// Parts are drawn opaquely over the head, so around their features they must
// continue the head's own pixels, or a box would show around every feature. A
// feature may touch the edge of its box, but not fill it.
TEST(FaceImages, PartsBlendIntoTheHeadAtTheirEdges) {
  for (const Part& p : allParts()) {
    SCOPED_TRACE(::testing::Message() << "part at " << p.left << "," << p.top);
    auto matches = [&](int x, int y) {
      return p.pixels[y * p.width + x] == a::face_base[(p.top + y) * a::kFaceBaseWidth + p.left + x];
    };
    EXPECT_TRUE(matches(0, 0) && matches(p.width - 1, 0) && matches(0, p.height - 1) &&
                matches(p.width - 1, p.height - 1));
    int edge = 0;
    int same = 0;
    for (int y = 0; y < p.height; ++y) {
      for (int x = 0; x < p.width; ++x) {
        if (x != 0 && y != 0 && x != p.width - 1 && y != p.height - 1) continue;
        ++edge;
        same += matches(x, y);
      }
    }
    EXPECT_GE(4 * same, 3 * edge);
  }
}

TEST(FaceImages, EveryPartShowsSomethingOfItsOwn) {
  std::set<std::vector<std::uint16_t>> seen;
  for (const Part& p : allParts()) {
    std::vector<std::uint16_t> pixels(p.pixels, p.pixels + p.width * p.height);
    int differs = 0;
    for (int y = 0; y < p.height; ++y) {
      for (int x = 0; x < p.width; ++x) {
        differs += pixels[static_cast<std::size_t>(y * p.width + x)] !=
                   a::face_base[(p.top + y) * a::kFaceBaseWidth + p.left + x];
      }
    }
    EXPECT_GT(differs, 4);
    EXPECT_TRUE(seen.insert(pixels).second) << "two parts are identical";
  }
}

TEST(FaceImages, BlinkStagesCloseProgressively) {
  // Count the pixels that differ from the head: an open eye draws the most.
  auto drawn = [](const std::uint16_t* eye) {
    int n = 0;
    for (int y = 0; y < a::kEyeHeight; ++y) {
      for (int x = 0; x < a::kEyeWidth; ++x) {
        n += eye[y * a::kEyeWidth + x] != a::face_base[(kEyeTop + y) * a::kFaceBaseWidth + kEyeLeft + x];
      }
    }
    return n;
  };
  EXPECT_GT(drawn(a::eye_1_blink), drawn(a::eye_2_blink));
  EXPECT_GT(drawn(a::eye_2_blink), drawn(a::eye_3_blink));
}

}  // namespace
}  // namespace pelmora
