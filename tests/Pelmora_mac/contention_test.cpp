// Two workers on their own threads, as two windows of the macOS program
// run them, after the same device: the second is refused without touching
// the device, and gets it once the first has let go.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "Pelmora_mac/hid_discovery.h"
#include "Pelmora_mac/hid_transport.h"
#include "core/protocol/connection_worker.h"
#include "core/transport/platform.h"
#include "fake_iokit/fake_iokit_control.h"

namespace pelmora {
namespace {

using namespace std::chrono_literals;

// The platform's clock, transport and enumeration; a wait that a stop flag
// cuts short.
class ThreadWorker {
 public:
  ThreadWorker()
      : worker_([this](std::uint32_t ms) { return wait(ms); }, [](const OutputFrame&) {}, {}, {}, {}, {}, {}) {}
  void runSession(const HidDeviceInfo& device) {
    thread_ = std::thread([this, device] {
      worker_.runSession(device, device.serial);
      finished_ = true;
    });
  }
  void stop() { stop_ = true; }
  void join() { thread_.join(); }
  bool finished() const { return finished_; }
  const std::string& lastError() const { return worker_.lastError; }  // after join

 private:
  bool wait(std::uint32_t ms) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!stop_ && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(1ms);
    return stop_;
  }

  ConnectionWorker worker_;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> finished_{false};
};

bool eventually(const std::function<bool()>& condition) {
  const auto end = std::chrono::steady_clock::now() + 30s;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

TEST(MacContention, SecondWorkerSeesDeviceBusyUntilTheFirstLetsGo) {
  fake_iokit::reset();
  const std::uint64_t id = fake_iokit::addDevice({.serial = u"S1"});
  const DeviceList list = enumerateDevices();
  ASSERT_EQ(list.size(), 1u);

  ThreadWorker first;
  first.runSession(list[0]);
  ASSERT_TRUE(eventually([&] { return fake_iokit::isOpen(id); }));

  ThreadWorker second;
  second.runSession(enumerateDevices().at(0));
  ASSERT_TRUE(eventually([&] { return second.finished(); }));
  second.join();
  EXPECT_EQ(second.lastError(), "Device Busy\nError 3758097093");
  EXPECT_TRUE(fake_iokit::isOpen(id)) << "the first worker's device was not touched";

  first.stop();
  first.join();
  EXPECT_FALSE(fake_iokit::isOpen(id));

  ThreadWorker third;
  third.runSession(list[0]);
  EXPECT_TRUE(eventually([&] { return fake_iokit::isOpen(id); })) << "free again";
  third.stop();
  third.join();
  EXPECT_EQ(fake_iokit::problems(), std::vector<std::string>{});
  fake_iokit::reset();
}

// A quit's exit() while a worker is inside close. The handler, registered
// before any transport exists, runs after every static object made later has
// been destroyed; only then does the worker leave close.
enum class Closing { notYet, inside, released, done };
std::atomic<Closing> closing{Closing::notYet};

void exitWhileAWorkerCloses() {
  std::atexit([] {
    closing = Closing::released;
    eventually([] { return closing == Closing::done; });
  });
  const std::uint64_t id = fake_iokit::addDevice();
  fake_iokit::Backend backend;
  backend.closed = [] {
    closing = Closing::inside;
    eventually([] { return closing == Closing::released; });
  };
  fake_iokit::setBackend(id, backend);
  std::thread([id] {
    if (HidTransport transport; transport.open(registryEntryPath(id))) transport.close(0);
    closing = Closing::done;
  }).detach();
  std::exit(eventually([] { return closing == Closing::inside; }) ? 0 : 2);
}

TEST(MacQuit, ExitWhileAWorkerIsInsideClose) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(exitWhileAWorkerCloses(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace pelmora
