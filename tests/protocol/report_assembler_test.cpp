#include "core/protocol/report_assembler.h"

#include <gtest/gtest.h>

#include <vector>

#include "core/protocol/byte_order.h"
#include "message_support.h"

namespace pelmora {
namespace {

using test::feedAll;
using test::kFrame;
using test::kImage;
using test::kResponse;
using test::kState;

constexpr std::uint32_t kSession = 1;  // the builders' default session id

std::optional<AssembledMessage> offer(ReportAssembler& a, const Report& r, std::uint64_t now) {
  return a.accept(r.data(), r.size(), now);
}

std::vector<Report> stateReports(std::uint32_t transfer) {
  return sim::fragmentMessage(kState, transfer, sim::buildState({}));
}

TEST(ReportAssembler, ReassemblesEveryKindTheDeviceSends) {
  sim::FrameFields biggest;
  biggest.mode = Mode::Channels;
  biggest.debugLines = {{{}, "x"}};
  struct Case {
    std::uint8_t kind;
    std::vector<std::uint8_t> message;
    std::size_t fragments;
  };
  const Case cases[] = {
      {kFrame, sim::buildFrame({}), 3},
      {kFrame, sim::buildFrame(biggest), 13},
      {kState, sim::buildState({}), 13},
      {kImage, sim::buildImage({}), 3},
      {kResponse, sim::buildAnswer({4, 9, kSession}), 1},
  };
  for (const Case& c : cases) {
    ReportAssembler a;
    a.reset(kSession);
    const auto reports = sim::fragmentMessage(c.kind, 77, c.message);
    ASSERT_EQ(reports.size(), c.fragments);
    for (std::size_t i = 0; i + 1 < reports.size(); ++i) EXPECT_FALSE(offer(a, reports[i], 5));
    const auto done = offer(a, reports.back(), 5);
    ASSERT_TRUE(done) << "kind " << int(c.kind);
    EXPECT_EQ(done->kind, c.kind);
    EXPECT_EQ(done->transferNumber, 77u);
    EXPECT_EQ(done->bytes, c.message);
    EXPECT_EQ(a.rejectedCount(), 0u);
  }
}

TEST(ReportAssembler, StateTakesThirteenFragmentsAndTwelveAreRefused) {
  const auto reports = stateReports(1);
  ASSERT_EQ(reports.size(), 13u);
  const Report& last = reports.back();
  EXPECT_EQ(last[kFragmentCountOffset], 13);
  for (std::size_t i = kFragmentDataOffset + 43; i < kReportLength; ++i) EXPECT_EQ(last[i], 0) << i;

  // The same bytes announced as 12 fragments: refused at fragment 0, and the
  // rest has no transfer to join.
  ReportAssembler a;
  a.reset(kSession);
  for (Report r : reports) {
    r[kFragmentCountOffset] = 12;
    if (r[kFragmentIndexOffset] < 12) {
      EXPECT_FALSE(offer(a, r, 0));
    }
  }
  EXPECT_EQ(a.rejectedCount(), 1u);
}

TEST(ReportAssembler, RefusesMalformedReportsAndHeaders) {
  const auto good = sim::fragmentMessage(kResponse, 1, sim::buildAnswer({4, 1, kSession}))[0];
  struct Case {
    const char* what;
    std::size_t offset;
    std::uint8_t value;
  };
  const Case cases[] = {
      {"report id 2", 0, 2},
      {"kind 0", kFragmentKindOffset, 0},
      {"kind 5", kFragmentKindOffset, 5},
      {"count 0", kFragmentCountOffset, 0},
      {"index beyond count", kFragmentIndexOffset, 1},
      {"magic", kFragmentDataOffset + 3, '2'},
      {"version 2.1", kFragmentDataOffset + kMinorOffset, 1},
      {"version 1.0", kFragmentDataOffset + kMajorOffset, 1},
      {"length 11", kFragmentDataOffset + kLengthOffset, 11},
      {"length beyond the kind's maximum", kFragmentDataOffset + kLengthOffset, 129},
      {"length needing more fragments", kFragmentDataOffset + kLengthOffset, 57},
      {"padding", kReportLength - 1, 1},
      {"message invalid", kFragmentDataOffset + kResponseStatusOffset, 7},
  };
  for (const Case& c : cases) {
    ReportAssembler a;
    a.reset(kSession);
    Report r = good;
    r[c.offset] = c.value;
    EXPECT_FALSE(offer(a, r, 0)) << c.what;
    EXPECT_EQ(a.rejectedCount(), 1u) << c.what;
  }
  ReportAssembler a;
  a.reset(kSession);
  EXPECT_FALSE(a.accept(good.data(), 63, 0));
  EXPECT_FALSE(a.accept(good.data(), 65, 0));
  EXPECT_FALSE(a.accept(nullptr, 64, 0));
  EXPECT_EQ(a.rejectedCount(), 3u);
  EXPECT_TRUE(offer(a, good, 0));
}

TEST(ReportAssembler, IgnoresOtherSessionsWithoutCountingThem) {
  ReportAssembler a;
  a.reset(kSession + 1);
  const auto reports = stateReports(1);
  EXPECT_FALSE(feedAll(a, reports, 0));
  EXPECT_EQ(a.rejectedCount(), 0u);
  a.reset(kSession);
  EXPECT_TRUE(feedAll(a, reports, 0));
}

TEST(ReportAssembler, RepeatedFragments) {
  const auto reports = stateReports(1);
  ReportAssembler a;
  a.reset(kSession);
  offer(a, reports[0], 0);
  offer(a, reports[1], 0);
  EXPECT_FALSE(offer(a, reports[1], 0));
  EXPECT_FALSE(offer(a, reports[0], 0));
  EXPECT_EQ(a.rejectedCount(), 0u);
  for (std::size_t i = 2; i + 1 < reports.size(); ++i) offer(a, reports[i], 0);
  EXPECT_TRUE(offer(a, reports.back(), 0));

  // A repeat that disagrees, in the data or in the padding, abandons the transfer.
  for (std::size_t at : {std::size_t{kFragmentDataOffset + 5}, kReportLength - 1}) {
    const auto next = stateReports(2);
    a.reset(kSession);
    offer(a, next[0], 0);
    offer(a, next[12], 0);
    Report changed = next[12];
    changed[at] ^= 0x40;
    EXPECT_FALSE(offer(a, changed, 0));
    EXPECT_EQ(a.rejectedCount(), 1u);
    for (std::size_t i = 1; i < next.size(); ++i) {
      EXPECT_FALSE(offer(a, next[i], 0)) << "abandoned transfer must not complete";
    }
    EXPECT_EQ(a.rejectedCount(), 1u);
  }
}

TEST(ReportAssembler, ANewerTransferReplacesAnUnfinishedOne) {
  const auto n = stateReports(10);
  const auto newer = stateReports(11);
  const auto older = stateReports(9);
  ReportAssembler a;
  a.reset(kSession);
  for (std::size_t i = 0; i < 6; ++i) offer(a, n[i], 0);
  offer(a, newer[0], 0);
  EXPECT_FALSE(feedAll(a, older, 0)) << "an older transfer does not displace the newer one";
  for (std::size_t i = 6; i < n.size(); ++i) EXPECT_FALSE(offer(a, n[i], 0));
  const auto done = feedAll(a, newer, 0);
  ASSERT_TRUE(done);
  EXPECT_EQ(done->transferNumber, 11u);
  EXPECT_EQ(a.rejectedCount(), 0u);
}

TEST(ReportAssembler, CompletedNumbersOnlyMoveForwardAcrossTheWrap) {
  ReportAssembler a;
  a.reset(kSession);
  ASSERT_TRUE(feedAll(a, stateReports(0xFFFFFFFF), 0));
  EXPECT_FALSE(feedAll(a, stateReports(0xFFFFFFFF), 0)) << "re-send of a completed transfer";
  EXPECT_FALSE(feedAll(a, stateReports(0xFFFFFFF0), 0));
  EXPECT_FALSE(feedAll(a, stateReports(0x7FFFFFFF), 0)) << "exactly half the circle away counts as old";
  ASSERT_TRUE(feedAll(a, stateReports(0), 0)) << "0 follows 0xFFFFFFFF";
  EXPECT_FALSE(feedAll(a, stateReports(0xFFFFFFFF), 0));
  ASSERT_TRUE(feedAll(a, stateReports(0x7FFFFFFF), 0));
  EXPECT_EQ(a.rejectedCount(), 0u);

  // Kinds count separately, and a reset forgets everything.
  EXPECT_TRUE(feedAll(a, sim::fragmentMessage(kImage, 5, sim::buildImage({})), 0));
  a.reset(kSession);
  EXPECT_TRUE(feedAll(a, stateReports(0xFFFFFFFF), 0));
}

TEST(ReportAssembler, AnInvalidMessageDoesNotCountAsCompleted) {
  sim::FrameFields broken;
  broken.counter2 = 0;
  ReportAssembler a;
  a.reset(kSession);
  EXPECT_FALSE(feedAll(a, sim::fragmentMessage(kFrame, 3, sim::buildFrame(broken)), 0));
  EXPECT_EQ(a.rejectedCount(), 1u);
  EXPECT_TRUE(feedAll(a, sim::fragmentMessage(kFrame, 3, sim::buildFrame({})), 0));
}

TEST(ReportAssembler, KindsAssembleIndependently) {
  const auto frame = sim::fragmentMessage(kFrame, 1, sim::buildFrame({}));
  const auto state = stateReports(1);
  ReportAssembler a;
  a.reset(kSession);
  std::size_t completed = 0;
  for (std::size_t i = 0; i < state.size(); ++i) {
    if (i < frame.size() && offer(a, frame[i], 0)) ++completed;
    if (offer(a, state[i], 0)) ++completed;
  }
  EXPECT_EQ(completed, 2u);
}

// What the worker may sleep through: the reports a message under way still
// lacks; one whose fragments stopped coming no longer counts.
TEST(ReportAssembler, ReportsToNextMessageCountOnlyMessagesUnderWay) {
  constexpr std::size_t kFresh = 2;
  constexpr std::uint64_t kUnderWay = 5;
  const auto state = stateReports(1);
  ReportAssembler a;
  a.reset(kSession);
  EXPECT_EQ(a.reportsToNextMessage(kFresh, 100, kUnderWay), kFresh);
  for (std::size_t i = 0; i < 3; ++i) offer(a, state[i], 100);
  EXPECT_EQ(a.reportsToNextMessage(kFresh, 100, kUnderWay), state.size() - 3);
  EXPECT_EQ(a.reportsToNextMessage(kFresh, 105, kUnderWay), state.size() - 3);
  EXPECT_EQ(a.reportsToNextMessage(kFresh, 106, kUnderWay), kFresh);
  const auto frame = sim::fragmentMessage(kFrame, 1, sim::buildFrame({}));
  offer(a, frame[0], 104);
  EXPECT_EQ(a.reportsToNextMessage(kFresh, 104, kUnderWay), frame.size() - 1);
}

// Offers the message's fragments at the given times; true when it completed.
bool completesAt(std::uint8_t kind, const std::vector<std::uint8_t>& message, const std::vector<std::uint64_t>& times) {
  ReportAssembler a;
  a.reset(kSession);
  const auto reports = sim::fragmentMessage(kind, 1, message);
  std::optional<AssembledMessage> done;
  for (std::size_t i = 0; i < reports.size(); ++i) done = offer(a, reports[i], times.at(i));
  return done.has_value();
}

// Fragment times starting at 1000, each `gap` after the previous, except the
// last which arrives at exactly `last`.
std::vector<std::uint64_t> spread(std::size_t count, std::uint64_t gap, std::uint64_t last) {
  std::vector<std::uint64_t> times;
  for (std::size_t i = 0; i + 1 < count; ++i) times.push_back(1000 + i * gap);
  times.push_back(last);
  return times;
}

TEST(ReportAssembler, WholeMessageLimitExpiresAtExactlyTheLimit) {
  sim::FrameFields big;
  big.mode = Mode::Channels;
  struct Case {
    std::uint8_t kind;
    std::vector<std::uint8_t> message;
    std::uint64_t limit;
  };
  const Case cases[] = {{kFrame, sim::buildFrame(big), 1000}, {kState, sim::buildState({}), 3000}};
  for (const Case& c : cases) {
    const std::size_t n = sim::fragmentCountFor(c.message.size());
    const std::uint64_t step = (c.limit - 1) / (n - 1) - 1;  // well inside the gap limit
    EXPECT_TRUE(completesAt(c.kind, c.message, spread(n, step, 1000 + c.limit - 1))) << int(c.kind);
    EXPECT_FALSE(completesAt(c.kind, c.message, spread(n, step, 1000 + c.limit))) << int(c.kind);
  }
}

TEST(ReportAssembler, GapLimitExpiresAtExactlyTheLimit) {
  sim::HelloFields longText;
  longText.identification = "0123456789ABCDE";  // 58 bytes: two fragments
  struct Case {
    std::uint8_t kind;
    std::vector<std::uint8_t> message;
    std::uint64_t gap;
  };
  const Case cases[] = {
      {kFrame, sim::buildFrame({}), 250},
      {kState, sim::buildState({}), 500},
      {kImage, sim::buildImage({}), 500},
      {kResponse, sim::buildHelloAnswer(1, longText), 500},
  };
  for (const Case& c : cases) {
    const std::size_t n = sim::fragmentCountFor(c.message.size());
    ASSERT_GE(n, 2u);
    // Every fragment on time, the last one exactly at or just before the limit.
    const std::uint64_t beforeLast = 1000 + (n - 2) * 10;
    auto message = c.message;
    if (c.kind == kResponse) writeU32(&message[kSessionIdOffset], kSession);
    EXPECT_TRUE(completesAt(c.kind, message, spread(n, 10, beforeLast + c.gap - 1))) << int(c.kind);
    EXPECT_FALSE(completesAt(c.kind, message, spread(n, 10, beforeLast + c.gap))) << int(c.kind);
  }
}

TEST(ReportAssembler, ExpiredTransferCanStartAgainAndAHarmlessRepeatDoesNotKeepItAlive) {
  const auto reports = stateReports(4);
  ReportAssembler a;
  a.reset(kSession);
  offer(a, reports[0], 0);
  offer(a, reports[1], 0);
  offer(a, reports[1], 400);  // repeat: not a sign of progress
  EXPECT_FALSE(offer(a, reports[2], 500));
  // The same transfer number, never completed, may be sent again from the start.
  EXPECT_TRUE(feedAll(a, reports, 600));
  EXPECT_EQ(a.rejectedCount(), 0u);
}

TEST(ReportAssembler, AcceptIntoReusesTheCallersStorage) {
  ReportAssembler a;
  a.reset(kSession);
  AssembledMessage out;
  out.bytes.reserve(kMessageMaxLength);
  const std::uint8_t* storage = out.bytes.data();
  for (std::uint32_t n = 1; n <= 3; ++n) {
    bool done = false;
    for (const Report& r : stateReports(n)) done = a.acceptInto(r.data(), r.size(), 0, out);
    ASSERT_TRUE(done);
    EXPECT_EQ(out.bytes.size(), kStateLength);
    EXPECT_EQ(out.bytes.data(), storage);
  }
}

}  // namespace
}  // namespace pelmora
