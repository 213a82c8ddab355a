#include "linux/report_descriptor.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "descriptor_support.h"

namespace pelmora {
namespace {

using test::DescriptorShape;
using test::makeDescriptor;

ReportDescriptorSummary parse(const std::vector<std::uint8_t>& d) { return parseReportDescriptor(d.data(), d.size()); }

TEST(ReportDescriptor, SynthesizerDescriptorCountsTheReportIdByte) {
  const ReportDescriptorSummary s = parse(makeDescriptor());
  EXPECT_TRUE(s.wellFormed);
  EXPECT_EQ(s.topLevelCollections, 1u);
  EXPECT_EQ(s.usagePage, 0xFF00);
  EXPECT_EQ(s.usage, 1);
  EXPECT_EQ(s.inputReportLength, 64u);
  EXPECT_EQ(s.featureReportLength, 64u);
}

TEST(ReportDescriptor, LengthsFollowTheLongestReportOfEachKind) {
  EXPECT_EQ(parse(makeDescriptor({.inputPayload = 64})).inputReportLength, 65u);
  EXPECT_EQ(parse(makeDescriptor({.featurePayload = 62})).featureReportLength, 63u);
  // Unnumbered reports still count one byte for the (absent) ID.
  EXPECT_EQ(parse(makeDescriptor({.numbered = false})).inputReportLength, 64u);

  // Items of one report add up; another report ID is measured on its own.
  const std::vector<std::uint8_t> d = {
      0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08,  //
      0x85, 0x01, 0x95, 0x20, 0x81, 0x02, 0x95, 0x1F, 0x81, 0x02,  // ID 1: 32 + 31 bytes
      0x85, 0x03, 0x95, 0x10, 0x81, 0x02,                          // ID 3: 16 bytes
      0x75, 0x01, 0x95, 0x03, 0xB1, 0x02,                          // ID 3 feature: 3 bits
      0xC0};
  const ReportDescriptorSummary s = parse(d);
  EXPECT_TRUE(s.wellFormed);
  EXPECT_EQ(s.inputReportLength, 64u);
  EXPECT_EQ(s.featureReportLength, 2u);
}

TEST(ReportDescriptor, UsageComesFromExtendedUsageAndPushPopRestoresGlobals) {
  const std::vector<std::uint8_t> d = {
      0x05, 0x01,                    // Usage Page (Generic Desktop)
      0x0B, 0x01, 0x00, 0x00, 0xFF,  // Usage 0xFF00:0001 (extended)
      0xA1, 0x01,                    //
      0x75, 0x08, 0x95, 0x3F,        // 63 bytes
      0xA4,                          // Push
      0x95, 0x01,                    //   count 1
      0xB4,                          // Pop: back to 63
      0x85, 0x01, 0x81, 0x02,        //
      0xC0};
  const ReportDescriptorSummary s = parse(d);
  EXPECT_TRUE(s.wellFormed);
  EXPECT_EQ(s.usagePage, 0xFF00);
  EXPECT_EQ(s.usage, 1);
  EXPECT_EQ(s.inputReportLength, 64u);
}

TEST(ReportDescriptor, SecondTopLevelCollectionIsCountedButFirstUsageKept) {
  std::vector<std::uint8_t> d = makeDescriptor();
  const std::vector<std::uint8_t> keyboard = makeDescriptor({.usagePage = 0x0001, .usage = 6});
  d.insert(d.end(), keyboard.begin(), keyboard.end());
  const ReportDescriptorSummary s = parse(d);
  EXPECT_TRUE(s.wellFormed);
  EXPECT_EQ(s.topLevelCollections, 2u);
  EXPECT_EQ(s.usagePage, 0xFF00);
}

TEST(ReportDescriptor, MalformedStructureIsRejected) {
  const std::vector<std::vector<std::uint8_t>> bad = {
      {0xC0},                                      // End Collection at top level
      {0xA1, 0x01},                                // collection never closed
      {0x85, 0x00, 0xA1, 0x01, 0xC0},              // report ID 0
      {0xB4, 0xA1, 0x01, 0xC0},                    // Pop without Push
      {0x06, 0x00},                                // item cut short
      {0xFE, 0x05, 0x00, 0x01},                    // long item cut short
      {0xFE},                                      // long item without header
  };
  for (const auto& d : bad) EXPECT_FALSE(parse(d).wellFormed) << d.size();

  std::vector<std::uint8_t> deepPush(17, 0xA4);  // one Push more than the stack holds
  deepPush.insert(deepPush.end(), {0xA1, 0x01, 0xC0});
  EXPECT_FALSE(parse(deepPush).wellFormed);

  // A long item is skipped whole, even when its data looks like items.
  std::vector<std::uint8_t> longItem = {0xFE, 0x02, 0x00, 0xC0, 0xC0};
  const std::vector<std::uint8_t> rest = makeDescriptor();
  longItem.insert(longItem.end(), rest.begin(), rest.end());
  EXPECT_TRUE(parse(longItem).wellFormed);
  EXPECT_EQ(parse(longItem).inputReportLength, 64u);

  EXPECT_FALSE(parseReportDescriptor(nullptr, 0).wellFormed);
}

// Every prefix of a valid descriptor is parsed from an allocation of exactly
// that size, so a read past the end shows up under the address sanitizer.
TEST(ReportDescriptor, TruncatedAndRandomInputStaysInBounds) {
  const std::vector<std::uint8_t> full = makeDescriptor();
  for (std::size_t n = 1; n < full.size(); ++n) {
    const std::vector<std::uint8_t> cut(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n));
    const ReportDescriptorSummary s = parse(cut);
    EXPECT_FALSE(s.wellFormed && s.topLevelCollections > 0) << n;
  }

  std::mt19937 random(12345);
  for (int round = 0; round < 20000; ++round) {
    std::vector<std::uint8_t> d(random() % 200);
    for (auto& b : d) b = static_cast<std::uint8_t>(random());
    (void)parse(d);
  }
}

TEST(ReportDescriptor, HugeSizesSaturateInsteadOfWrapping) {
  std::vector<std::uint8_t> d = {0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01,
                                 0x77, 0xFF, 0xFF, 0xFF, 0xFF,   // Report Size 2^32 - 1
                                 0x97, 0xFF, 0xFF, 0xFF, 0xFF};  // Report Count 2^32 - 1
  for (int i = 0; i < 8; ++i) d.insert(d.end(), {0x81, 0x02});
  d.push_back(0xC0);
  const ReportDescriptorSummary s = parse(d);
  EXPECT_TRUE(s.wellFormed);
  EXPECT_GT(s.inputReportLength, 64u);
}

}  // namespace
}  // namespace pelmora
