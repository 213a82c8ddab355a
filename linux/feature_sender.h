#pragma once
// Feature reports on a thread of their own. hidraw sends a feature report
// with one ioctl that returns only when the device has answered the control
// transfer: up to about five seconds when it never does, and no signal cuts
// that short. The sender runs that ioctl on its thread, so whoever starts a
// transfer never waits for it, and it owns everything the kernel may still
// touch (a duplicate of the descriptor, its own copy of the report) until the
// ioctl returns. Its owner may therefore let go at any moment: an abandoned
// transfer ends on its own and then closes its duplicate.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

namespace pelmora {

// Sends one feature report of `length` bytes on `fd`; 0 or the errno of the
// failure. Runs on the sender's thread.
using FeatureTransfer = std::function<int(int fd, std::uint8_t* report, std::size_t length)>;

// HIDIOCSFEATURE on a hidraw descriptor, repeated when a signal interrupts it.
int sendHidrawFeature(int fd, std::uint8_t* report, std::size_t length);

class FeatureSender {
 public:
  explicit FeatureSender(FeatureTransfer transfer = sendHidrawFeature);
  // Abandons a transfer still in flight, like stop.
  ~FeatureSender();
  FeatureSender(const FeatureSender&) = delete;
  FeatureSender& operator=(const FeatureSender&) = delete;

  // Starts sending a copy of the 64-byte `report` on a duplicate of `fd`.
  // 0 when started; EBUSY while an earlier transfer has not been collected;
  // otherwise the errno of the duplicate or of the thread that failed.
  int start(int fd, const std::uint8_t* report);
  // True once, when the started transfer has ended; `result` is 0 or its
  // errno. False while it runs or when nothing was started.
  bool collect(int& result);
  // Ends the thread without waiting for a transfer in flight, which is
  // forgotten; the next start begins afresh.
  void stop();

  // Transfers of this process that were forgotten by stop and have not
  // ended yet. While one is stuck in the kernel, opening or closing any
  // hidraw node waits for it there.
  static int abandonedInFlight();

 private:
  struct Shared;
  static void serve(std::shared_ptr<Shared> shared, FeatureTransfer transfer);

  FeatureTransfer transfer_;
  std::shared_ptr<Shared> shared_;
  std::thread thread_;
};

}  // namespace pelmora
