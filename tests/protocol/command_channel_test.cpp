#include "core/protocol/command_channel.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "core/protocol/byte_order.h"
#include "core/protocol/connection_error.h"
#include "core/transport/hid_transport.h"
#include "message_support.h"

namespace pelmora {
namespace {

using test::kResponse;

// Records what is sent; refuses sends when told to.
class RecordingTransport : public IHidTransport {
 public:
  bool open(const std::u16string&) override { return true; }
  bool readReport(std::uint8_t*, bool& received) override {
    received = false;
    return true;
  }
  bool sendFeature(const std::uint8_t* report) override {
    if (refuse) return false;
    sent.emplace_back();
    std::copy_n(report, kReportLength, sent.back().begin());
    return true;
  }
  bool poll() override { return true; }
  bool close(std::uint32_t) override { return true; }
  std::uint32_t errorCode() const override { return code; }
  HostSystem codeSystem() const override { return HostSystem::linuxOs; }
  bool isReading() const override { return true; }
  bool isFeaturePending() const override { return false; }

  std::vector<Report> sent;
  bool refuse = false;
  std::uint32_t code = 0;
};

constexpr std::uint8_t kHello = static_cast<std::uint8_t>(Command::Hello);
constexpr std::uint8_t kHeartbeat = static_cast<std::uint8_t>(Command::Heartbeat);
constexpr std::uint8_t kRequestState = static_cast<std::uint8_t>(Command::RequestState);

class CommandChannelTest : public ::testing::Test {
 protected:
  void SetUp() override { channel.transport = &transport; }

  bool offer(const std::vector<std::uint8_t>& message) {
    return channel.request.match(message.data(), message.size());
  }
  sim::CommandFields lastSent() const {
    return sim::parseCommand(std::span<const std::uint8_t, kReportLength>(transport.sent.back()));
  }

  RecordingTransport transport;
  CommandChannel channel;
};

TEST_F(CommandChannelTest, NumbersCommandsAndWrapsTheCounter) {
  channel.requestCounter = 0xFFFFFFFE;
  channel.sendCommand(kHeartbeat, 0x1234, 100);
  EXPECT_EQ(lastSent().requestId, 0xFFFFFFFFu);
  EXPECT_EQ(transport.sent.back(), buildCommand(kHeartbeat, 0xFFFFFFFF, 0x1234));
  channel.request.clear();
  channel.sendCommand(kHeartbeat, 0x1234, 200);
  EXPECT_EQ(lastSent().requestId, 0u);
  EXPECT_EQ(channel.requestCounter, 0u);
  EXPECT_EQ(channel.responseAssembler.token(), 0x1234u);
}

TEST_F(CommandChannelTest, KeepsTheKeepAliveBookkeeping) {
  channel.sendCommand(kHello, 0, 10);
  EXPECT_EQ(channel.heartbeats, 0u);
  EXPECT_EQ(channel.lastHeartbeatSent, 0u);
  channel.request.clear();
  channel.sendCommand(kHeartbeat, 7, 20);
  EXPECT_EQ(channel.heartbeats, 1u);
  EXPECT_EQ(channel.lastHeartbeatSent, 20u);
  channel.request.clear();
  channel.sendCommand(kRequestState, 7, 30);
  EXPECT_EQ(channel.lastStateRequest, 30u);
  EXPECT_EQ(channel.heartbeats, 1u);

  // A refused HEARTBEAT is not counted as sent.
  channel.request.clear();
  transport.refuse = true;
  EXPECT_THROW(channel.sendCommand(kHeartbeat, 7, 40), ConnectionError);
  EXPECT_EQ(channel.heartbeats, 1u);
  EXPECT_EQ(channel.lastHeartbeatSent, 20u);
}

TEST_F(CommandChannelTest, ARefusedSendIsAConnectionErrorWithTheCode) {
  transport.refuse = true;
  transport.code = 0xE00002C0;
  try {
    channel.sendCommand(kHello, 0, 0);
    FAIL() << "no error";
  } catch (const ConnectionError& e) {
    EXPECT_STREQ(e.what(), "Connection Error\nFeature Send Failed\nError 3758097088");
  }
}

TEST_F(CommandChannelTest, OneRequestAtATime) {
  channel.sendCommand(kHello, 0, 0);
  try {
    channel.sendCommand(kHello, 0, 0);
    FAIL() << "second request accepted";
  } catch (const std::logic_error& e) {
    EXPECT_STREQ(e.what(), "request already pending");
  }
  EXPECT_EQ(transport.sent.size(), 1u);
  channel.request.clear();
  EXPECT_THROW(channel.request.begin(9, 1, 0, 0), std::invalid_argument);
  EXPECT_EQ(channel.request.pending, 0) << "a refused command leaves the slot free";
}

TEST_F(CommandChannelTest, ResendOnceThenFail) {
  PendingRequest& r = channel.request;
  r.begin(kHeartbeat, 5, 9, 1000);
  EXPECT_EQ(r.checkTimeout(2999), TimeoutResult::Nothing);
  EXPECT_EQ(r.checkTimeout(3000), TimeoutResult::Resend);
  EXPECT_EQ(r.checkTimeout(4999), TimeoutResult::Nothing);
  EXPECT_EQ(r.checkTimeout(5000), TimeoutResult::Failed);
  EXPECT_EQ(r.pending, 0);
  EXPECT_EQ(r.checkTimeout(9000), TimeoutResult::Nothing);

  // A late check moves the re-send deadline with it.
  r.begin(kHeartbeat, 6, 9, 10000);
  EXPECT_EQ(r.checkTimeout(12500), TimeoutResult::Resend);
  EXPECT_EQ(r.checkTimeout(14499), TimeoutResult::Nothing);
  EXPECT_EQ(r.checkTimeout(14500), TimeoutResult::Failed);

  // Nothing times out once the answer is in.
  r.begin(kHeartbeat, 7, 9, 20000);
  ASSERT_TRUE(offer(sim::buildAnswer({kHeartbeat, 7, 9})));
  EXPECT_EQ(r.checkTimeout(30000), TimeoutResult::Nothing);
}

TEST_F(CommandChannelTest, MatchesOnlyTheAnswerToThisRequest) {
  channel.requestCounter = 41;
  channel.sendCommand(kHeartbeat, 9, 0);  // requestId 42
  EXPECT_FALSE(offer(sim::buildAnswer({kHeartbeat, 41, 9})));
  EXPECT_FALSE(offer(sim::buildAnswer({kHeartbeat, 42, 8})));
  EXPECT_FALSE(offer(sim::buildAnswer({kRequestState, 42, 9})));
  auto invalid = sim::buildAnswer({kHeartbeat, 42, 9});
  invalid[kResponseStatusOffset] = 7;
  EXPECT_FALSE(offer(invalid));
  EXPECT_FALSE(channel.request.hasResponse());
  EXPECT_EQ(channel.request.pending, 1);

  // The answer to the re-send carries the same number; a second copy finds
  // nothing pending and leaves the stored answer alone.
  ASSERT_EQ(channel.request.checkTimeout(2000), TimeoutResult::Resend);
  const auto busy = sim::buildAnswer({kHeartbeat, 42, 9}, kStatusBusy);
  EXPECT_TRUE(offer(busy));
  EXPECT_FALSE(offer(sim::buildAnswer({kHeartbeat, 42, 9})));
  ASSERT_TRUE(channel.request.hasResponse());
  EXPECT_EQ(channel.request.response, busy);

  // Cleared, the slot is empty but keeps its storage for the next answer.
  const std::uint8_t* storage = channel.request.response.data();
  channel.request.clear();
  EXPECT_FALSE(channel.request.hasResponse());
  EXPECT_EQ(channel.request.command, Report{});
  EXPECT_EQ(channel.request.deadline, 0u);
  channel.sendCommand(kHeartbeat, 9, 0);
  ASSERT_TRUE(offer(sim::buildAnswer({kHeartbeat, 43, 9})));
  EXPECT_EQ(channel.request.response.data(), storage);
}

TEST_F(CommandChannelTest, ANewCommandDiscardsPartialAnswers) {
  sim::HelloFields h;
  h.identification = "0123456789ABCDE";  // two fragments
  channel.sendCommand(kHello, 0, 0);
  const auto reports = sim::fragmentMessage(kResponse, 1, sim::buildHelloAnswer(1, h));
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_FALSE(channel.responseAssembler.accept(reports[0].data(), kReportLength, 0));
  channel.request.clear();
  channel.sendCommand(kHello, 0, 0);
  EXPECT_FALSE(channel.responseAssembler.accept(reports[1].data(), kReportLength, 0));

  // Answers must now carry the new command's argument.
  channel.request.clear();
  channel.sendCommand(kHeartbeat, 5, 0);
  EXPECT_FALSE(test::feedAll(channel.responseAssembler, reports, 0));
  const auto answer = sim::buildAnswer(lastSent());
  EXPECT_TRUE(test::feedAll(channel.responseAssembler, sim::fragmentMessage(kResponse, 2, answer), 0));
}

}  // namespace
}  // namespace pelmora
