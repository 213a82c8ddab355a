// Discovery and the transport against the kernel's own HID core and hidraw.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "core/protocol/byte_order.h"
#include "core/transport/platform.h"
#include "host_worker_support.h"
#include "linux/hidraw_transport.h"
#include "linux/utf16_conversion.h"
#include "uhid_synth.h"

namespace pelmora::test {
namespace {

struct ListedCase {
  const char* serial;
  std::uint16_t vendor;
  DescriptorShape shape;
  bool listed;
  const char* error;
};

TEST(KernelDiscovery, ListsEachUhidDeviceByTheRulesWithItsSerialAndNode) {
  DescriptorShape otherPage;
  otherPage.usagePage = 0xFF01;
  DescriptorShape longFeature;
  longFeature.featurePayload = 64;
  const std::vector<ListedCase> cases = {
      {"KG-A", 0x39D0, {}, true, ""},
      {"KG-B", 0x39D0, otherPage, true, "Unsupported Protocol\nReport Size"},
      {"KG-C", 0x39D0, longFeature, true, "Unsupported Protocol\nReport Size"},
      {"KG-D", 0x1234, {}, false, ""},
  };
  std::vector<std::unique_ptr<UhidSynth>> devices;
  std::vector<std::string> nodes;
  for (const ListedCase& c : cases) {
    devices.push_back(std::make_unique<UhidSynth>(UhidIdentity{c.vendor, 0x0101, c.serial, c.shape}));
    nodes.push_back(devices.back()->waitForNode());
    ASSERT_FALSE(nodes.back().empty()) << c.serial;
  }
  const DeviceList list = enumerateDevices();
  std::size_t row = 0;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    if (!cases[i].listed) continue;
    ASSERT_LT(row, list.size());
    EXPECT_EQ(utf16ToUtf8(list[row].path), nodes[i]);
    EXPECT_EQ(utf16ToUtf8(list[row].serial), cases[i].serial);
    EXPECT_EQ(list[row].error, cases[i].error) << cases[i].serial;
    ++row;
  }
  EXPECT_EQ(list.size(), row);
  for (const auto& d : devices) EXPECT_EQ(d->counters().opens, 0u);  // discovery opens nothing
}

Report numbered(std::uint32_t index) {
  Report r{};
  r[0] = kInputReportId;
  writeU32(r.data() + 1, index);
  return r;
}

// Reads until nothing is waiting; the indices of what came, or stops at a failure.
std::vector<std::uint32_t> drain(HidTransport& t) {
  std::vector<std::uint32_t> indices;
  Report r{};
  bool received = true;
  while (t.readReport(r.data(), received) && received) indices.push_back(readU32(r.data() + 1));
  return indices;
}

TEST(KernelHidraw, ExclusiveOpenFeatureRoundTripAndABurstBeyondTheQueue) {
  UhidSynth synth;
  const std::string node = synth.waitForNode();
  ASSERT_FALSE(node.empty());
  HidTransport t;
  ASSERT_TRUE(t.open(utf8ToUtf16(node)));
  HidTransport second;
  EXPECT_FALSE(second.open(utf8ToUtf16(node)));
  EXPECT_EQ(second.errorCode(), static_cast<std::uint32_t>(EWOULDBLOCK));
  EXPECT_STREQ(openFailureTextOn(second.codeSystem(), second.errorCode()), "Device Busy");
  ASSERT_TRUE(waitFor([&] { return synth.counters().opens == 1; }, 1000));

  // A HELLO travels as SET_REPORT of report 2, all 64 bytes; the answer
  // comes back as input reports with the ID byte first.
  const CommandReport hello = buildCommand(static_cast<std::uint8_t>(Command::Hello), 0x1234, 0);
  ASSERT_TRUE(t.sendFeature(hello.data()));
  EXPECT_TRUE(waitFor([&] { return t.poll() && !t.isFeaturePending(); }, 2000));
  EXPECT_EQ(synth.with([](sim::SimDevice& d) { return d.counters().commands; }), 1u);
  Report r{};
  bool received = false;
  ASSERT_TRUE(waitFor([&] { return t.readReport(r.data(), received) && received; }, 2000));
  EXPECT_EQ(r[0], kInputReportId);
  EXPECT_EQ(r[kFragmentKindOffset], static_cast<std::uint8_t>(MessageKind::Response));
  drain(t);

  // hidraw keeps a bounded queue per reader and drops what does not fit;
  // what was kept arrives whole and in order, and reading goes on after.
  constexpr std::uint32_t kBurst = 200;
  std::vector<Report> burst;
  for (std::uint32_t i = 0; i < kBurst; ++i) burst.push_back(numbered(i));
  synth.injectInputs(burst);
  usleep(200000);
  const std::vector<std::uint32_t> kept = drain(t);
  EXPECT_EQ(t.errorCode(), 0u);
  ASSERT_FALSE(kept.empty());
  EXPECT_LE(kept.size(), 64u);
  for (std::size_t i = 0; i < kept.size(); ++i) EXPECT_EQ(kept[i], i);
  std::printf("burst of %u reports: %zu read\n", kBurst, kept.size());
  synth.injectInputs({numbered(kBurst)});
  ASSERT_TRUE(waitFor([&] { return t.readReport(r.data(), received) && received; }, 1000));
  EXPECT_EQ(readU32(r.data() + 1), kBurst);

  // Unplugged: the read fails with a code that means the device has gone,
  // and the node is gone with it.
  synth.unplug();
  EXPECT_TRUE(waitFor([&] { return !t.readReport(r.data(), received); }, 1000));
  EXPECT_TRUE(isDeviceGoneCodeOn(t.codeSystem(), t.errorCode())) << t.errorCode();
  EXPECT_TRUE(t.close(0));
  EXPECT_FALSE(t.open(utf8ToUtf16(node)));
  EXPECT_EQ(t.errorCode(), static_cast<std::uint32_t>(ENOENT));
}

// A device that answers SET_REPORT with an error: the send itself returns
// at once, and the kernel's code for the failed transfer arrives through poll.
TEST(KernelHidraw, ARefusedFeatureReportFailsThroughPoll) {
  UhidSynth synth;
  synth.with([](sim::SimDevice& d) { d.link.featureRefusals.remaining = 1; });
  const std::string node = synth.waitForNode();
  ASSERT_FALSE(node.empty());
  HidTransport t;
  ASSERT_TRUE(t.open(utf8ToUtf16(node)));
  const CommandReport hello = buildCommand(static_cast<std::uint8_t>(Command::Hello), 1, 0);
  ASSERT_TRUE(t.sendFeature(hello.data()));
  EXPECT_TRUE(waitFor([&] { return !t.poll(); }, 2000));
  EXPECT_FALSE(t.isFeaturePending());
  EXPECT_EQ(t.errorCode(), static_cast<std::uint32_t>(EIO));
  EXPECT_EQ(synth.with([](sim::SimDevice& d) { return d.counters().commands; }), 0u);
}

}  // namespace
}  // namespace pelmora::test
