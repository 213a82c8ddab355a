// The overlapped Windows transport against a scripted device and driver.
#include "windows/hid_transport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <stdexcept>

#include "core/transport/platform.h"
#include "fake_win32.h"

namespace pelmora {
namespace {

using testing::FakeWin32;
using testing::failingIo;
using testing::pendingIo;
using testing::syncIo;

const std::u16string kPath = u"\\\\?\\hid#vid_39d0&pid_0101#1";

using Report64 = std::array<std::uint8_t, 64>;

class WindowsTransport : public ::testing::Test {
 protected:
  // Reads once; the received flag, with the call's result checked.
  bool readOnce(bool expectedResult = true) {
    bool received = true;
    EXPECT_EQ(transport.readReport(report.data(), received), expectedResult);
    return received;
  }
  bool send() {
    Report64 feature{};
    feature[0] = 0x02;
    return transport.sendFeature(feature.data());
  }
  // Closes with limit 0 until it lets go; the number of refused calls.
  int closeFully() {
    int refused = 0;
    while (!transport.close(0)) ++refused;
    return refused;
  }

  FakeWin32 fake;
  HidTransport transport{fake.api()};
  Report64 report{};
};

TEST_F(WindowsTransport, OpenFailuresKeepTheSystemCodeForTheirLabel) {
  for (auto [code, label] : {std::pair<DWORD, const char*>{ERROR_SHARING_VIOLATION, "Device Busy"},
                             {ERROR_ACCESS_DENIED, "Access Denied"},
                             {ERROR_FILE_NOT_FOUND, "Open Failed"}}) {
    fake.openError = code;
    EXPECT_FALSE(transport.open(kPath));
    EXPECT_EQ(transport.errorCode(), code);
    EXPECT_STREQ(openFailureTextOn(transport.codeSystem(), transport.errorCode()), label);
  }
  // A second program holding the device: the share mode 0 of our own open
  // is what makes its open fail with 32.
  fake.openError = 0;
  ASSERT_TRUE(transport.open(kPath));
  EXPECT_EQ(transport.errorCode(), 0u);
  EXPECT_EQ(fake.inputBuffersSet, kInputBufferCount);
  HidTransport second(fake.api());
  EXPECT_FALSE(second.open(kPath));
  EXPECT_EQ(second.errorCode(), static_cast<std::uint32_t>(ERROR_SHARING_VIOLATION));
}

TEST_F(WindowsTransport, AQueueThatCannotBeSizedFailsTheOpenAndTheHandleWaitsForClose) {
  fake.setBuffersError = ERROR_INVALID_PARAMETER;
  EXPECT_FALSE(transport.open(kPath));
  EXPECT_EQ(transport.errorCode(), static_cast<std::uint32_t>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(fake.deviceHandlesOpen, 1);
  EXPECT_FALSE(readOnce(false));
  EXPECT_TRUE(transport.close(0));
  EXPECT_EQ(fake.deviceHandlesOpen, 0);
}

TEST_F(WindowsTransport, ReportsArriveWhetherTheReadCompletesAtOnceOrLater) {
  fake.reads = {syncIo(64, 0x11), pendingIo(2, 64, 0, 0x22)};
  ASSERT_TRUE(transport.open(kPath));
  EXPECT_FALSE(transport.isReading()) << "the first read completed inside ReadFile";
  EXPECT_EQ(transport.reportSignal().kind, ReportSignal::Kind::none) << "a report waits: nothing to sleep on";

  EXPECT_TRUE(readOnce());
  EXPECT_EQ(report[0], 0x11);
  EXPECT_EQ(fake.overlappedLooks, 0) << "a synchronous report needs no GetOverlappedResult";
  EXPECT_TRUE(transport.isReading());

  report.fill(0);
  EXPECT_FALSE(readOnce()) << "ERROR_IO_INCOMPLETE";
  EXPECT_FALSE(readOnce());
  EXPECT_TRUE(readOnce());
  EXPECT_EQ(report[0], 0x22);
  EXPECT_EQ(report[63], 0x22);
  EXPECT_FALSE(readOnce()) << "the next read is queued at the driver";
  EXPECT_TRUE(transport.isReading());
  const ReportSignal signal = transport.reportSignal();
  EXPECT_EQ(signal.kind, ReportSignal::Kind::event);
  EXPECT_NE(signal.handle, 0);
  EXPECT_FALSE(signal.coversFeature);
  EXPECT_EQ(fake.waitingLooks, 0);
  EXPECT_EQ(fake.readCalls, 3);
}

TEST_F(WindowsTransport, ReadFailuresStickUntilTheNextOpen) {
  struct Case {
    const char* name;
    testing::FakeIo read;
    std::uint32_t code;
  };
  for (const Case& c : {Case{"short, at once", syncIo(63), kErrorShortReport},
                        Case{"long, later", pendingIo(0, 65), kErrorShortReport},
                        Case{"unplugged", pendingIo(0, 0, ERROR_DEVICE_NOT_CONNECTED), 1167u},
                        Case{"refused", failingIo(ERROR_INVALID_HANDLE), 6u}}) {
    SCOPED_TRACE(c.name);
    fake.reads = {c.read};
    // A synchronous failure already fails the open.
    const bool opened = transport.open(kPath);
    if (opened) {
      EXPECT_FALSE(readOnce(false));
    }
    EXPECT_EQ(transport.errorCode(), c.code);
    EXPECT_FALSE(readOnce(false));
    EXPECT_FALSE(transport.poll());
    EXPECT_EQ(transport.reportSignal().kind, ReportSignal::Kind::none) << "a failed read is not waited on";
    EXPECT_TRUE(transport.close(0));
    EXPECT_EQ(transport.errorCode(), c.code) << "close keeps the code";
  }
  EXPECT_TRUE(isDeviceGoneCodeOn(transport.codeSystem(), 1167));
  EXPECT_TRUE(isDeviceGoneCodeOn(transport.codeSystem(), 6));
  EXPECT_FALSE(isDeviceGoneCodeOn(transport.codeSystem(), kErrorShortReport));
}

TEST_F(WindowsTransport, OneFeatureTransferAtATime) {
  fake.features = {syncIo(0), pendingIo(2), pendingIo(-1)};
  ASSERT_TRUE(transport.open(kPath));

  EXPECT_TRUE(send());
  EXPECT_FALSE(transport.isFeaturePending()) << "completed inside DeviceIoControl";
  EXPECT_EQ(fake.ioctlCode, 0x000B0191u);

  EXPECT_TRUE(send());
  EXPECT_TRUE(transport.isFeaturePending());
  EXPECT_TRUE(transport.poll());
  EXPECT_TRUE(transport.isFeaturePending());
  EXPECT_TRUE(transport.poll());
  EXPECT_TRUE(transport.poll());
  EXPECT_FALSE(transport.isFeaturePending());

  EXPECT_TRUE(send());
  EXPECT_FALSE(send()) << "a second transfer while the first is pending";
  EXPECT_EQ(transport.errorCode(), kErrorFeatureBusy);
  EXPECT_EQ(fake.featuresSent.size(), 3u);
  EXPECT_FALSE(transport.poll()) << "the error code sticks";
  EXPECT_TRUE(transport.isFeaturePending());

  // A transfer that ends in failure, seen by poll; one refused at once.
  ASSERT_TRUE(transport.open(kPath));
  EXPECT_EQ(transport.errorCode(), 0u);
  fake.features = {pendingIo(0, 0, ERROR_GEN_FAILURE)};
  EXPECT_TRUE(send());
  EXPECT_FALSE(transport.poll());
  EXPECT_EQ(transport.errorCode(), static_cast<std::uint32_t>(ERROR_GEN_FAILURE));
  EXPECT_FALSE(transport.isFeaturePending());

  ASSERT_TRUE(transport.open(kPath));
  fake.features = {failingIo(ERROR_INVALID_FUNCTION)};
  EXPECT_FALSE(send());
  EXPECT_FALSE(transport.isFeaturePending());
  EXPECT_EQ(transport.errorCode(), static_cast<std::uint32_t>(ERROR_INVALID_FUNCTION));
}

TEST_F(WindowsTransport, CloseWaitsForCancelledIoThatEndsLate) {
  // A cancellation that ends a few looks after the cancel is waited out even
  // with a limit of 0; one that takes longer than the settle time is refused.
  fake.cancelLatency = 3;
  fake.features = {pendingIo(-1)};
  ASSERT_TRUE(transport.open(kPath));
  ASSERT_TRUE(send());
  EXPECT_TRUE(transport.close(0));
  EXPECT_EQ(fake.sleeps, 3);
  fake.cancelLatency = 2 * static_cast<int>(kCancelSettleMs);
  ASSERT_TRUE(transport.open(kPath));
  EXPECT_EQ(closeFully(), 1) << "close(0) refuses while the cancelled read is still ending";
  EXPECT_FALSE(transport.isReading());
  EXPECT_EQ(fake.deviceHandlesOpen, 0);
  EXPECT_TRUE(transport.close(0)) << "closing a closed transport";

  // Within a limit, close sleeps a millisecond at a time until it can.
  fake.cancelLatency = 5;
  ASSERT_TRUE(transport.open(kPath));
  const int sleepsBefore = fake.sleeps;
  EXPECT_TRUE(transport.close(1000));
  EXPECT_EQ(fake.sleeps - sleepsBefore, 5);
}

TEST_F(WindowsTransport, CloseForgetsAReportNotYetDelivered) {
  fake.reads = {syncIo(64, 0x33)};
  ASSERT_TRUE(transport.open(kPath));
  ASSERT_TRUE(transport.close(0));
  fake.reads = {pendingIo(-1)};
  ASSERT_TRUE(transport.open(kPath));
  EXPECT_FALSE(readOnce());
}

TEST_F(WindowsTransport, CloseGivesUpAtItsDeadlineOnACoarseClock) {
  // GetTickCount64 moving in 16 ms steps while Sleep(1) takes a millisecond.
  fake.cancelLatency = -1;
  fake.tickStep = 16;
  ASSERT_TRUE(transport.open(kPath));
  for (std::uint32_t limit : {0u, 250u}) {
    const std::uint32_t waited = std::max(limit, kCancelSettleMs);
    const int sleepsBefore = fake.sleeps;
    const ULONGLONG start = fake.tick;
    EXPECT_FALSE(transport.close(limit));
    EXPECT_GE(fake.tick, start + waited);
    EXPECT_LT(fake.tick, start + waited + 16);
    EXPECT_LE(fake.sleeps - sleepsBefore, static_cast<int>(waited) + 16);
  }
  EXPECT_TRUE(transport.isReading()) << "a refused close keeps the transfer and the device";
  EXPECT_EQ(fake.deviceHandlesOpen, 1);
  fake.cancelLatency = 0;
}

TEST(WindowsTransportEvents, EitherEventFailingEndsConstruction) {
  for (int failing : {1, 2}) {
    FakeWin32 fake;
    fake.eventFailsAt = failing;
    try {
      HidTransport transport(fake.api());
      ADD_FAILURE() << "constructed without event " << failing;
    } catch (const std::runtime_error& error) {
      EXPECT_STREQ(error.what(), "HID event allocation");
    }
    EXPECT_EQ(fake.eventsOpen, 0) << "the event that was made is closed again";
  }
}

TEST(WindowsTransportDeathTest, IoThatNeverEndsEndsTheProcessWith996) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(
      {
        FakeWin32 fake;
        fake.cancelLatency = -1;
        fake.tickStep = 16;
        auto transport = std::make_unique<HidTransport>(fake.api());
        transport->open(kPath);
        transport.reset();
      },
      ::testing::ExitedWithCode(996), "");
}

}  // namespace
}  // namespace pelmora
