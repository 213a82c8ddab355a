#pragma once
// The transport over one Linux hidraw node. hidraw hands out one whole input
// report per read (numbered reports keep their ID in byte 0). A feature
// report goes out through the transport's sender thread, because the ioctl
// that sends it waits for the device; `poll` collects its outcome. The sender
// owns what that ioctl touches, so `close` lets go at once even while a
// transfer is in flight: the node stays locked until the device answers or
// the kernel gives up on it. The kernel makes every hidraw open wait for a
// feature transfer in flight, so until then opens in this process fail at
// once with a code of their own, which the session engine waits out.
#include <sys/types.h>

#include <cerrno>
#include <cstdint>
#include <string>

#include "core/transport/hid_transport.h"
#include "linux/feature_sender.h"

namespace pelmora {

// Codes the transport sets itself (errno values, like the system's own).
inline constexpr std::uint32_t kErrorWrongReportLength = EMSGSIZE;  // a report not 64 bytes long
inline constexpr std::uint32_t kErrorNotOpen = EBADF;              // used while closed
inline constexpr std::uint32_t kErrorFeatureBusy = EBUSY;          // a second feature transfer
// An open refused while a transfer this process gave up on is still in the
// kernel: the refusal ends by itself when the kernel ends that transfer.
inline constexpr std::uint32_t kErrorHeldByOwnTransfer = EALREADY;

class HidTransport final : public IHidTransport {
 public:
  // `transfer` sends one feature report on the sender's thread; tests put a
  // stand-in there.
  explicit HidTransport(FeatureTransfer transfer = sendHidrawFeature);
  ~HidTransport() override;
  HidTransport(const HidTransport&) = delete;
  HidTransport& operator=(const HidTransport&) = delete;

  // Opens the node read-write, non-blocking, and takes an exclusive flock on
  // it, so a second open from this or any other process fails with
  // EWOULDBLOCK. Any open while a transfer this process gave up on is still
  // in the kernel fails with kErrorHeldByOwnTransfer.
  bool open(const std::u16string& path) override;
  bool readReport(std::uint8_t* report, bool& received) override;
  bool sendFeature(const std::uint8_t* report) override;
  bool poll() override;
  bool close(std::uint32_t timeoutMs) override;
  std::uint32_t errorCode() const override { return error_; }
  HostSystem codeSystem() const override { return HostSystem::linuxOs; }
  bool isReading() const override { return fd_ >= 0; }
  bool isFeaturePending() const override { return featurePending_; }
  // The node's descriptor. A feature transfer's end is not in it: that
  // comes from the sender's thread.
  ReportSignal reportSignal() override;

 private:
  // Keeps the first failure until the next open.
  void recordError(int code);
  // The code to keep for a failed read or transfer: ENODEV once the node
  // has gone, since the failure's own code (often a USB error from the
  // unplug under way) would not say that the device left.
  int deviceFailure(int code) const;

  int fd_ = -1;
  // The opened node by name and file identity, so that a new node under the
  // same name is not taken for it.
  std::string node_;
  dev_t nodeDevice_ = 0;
  ino_t nodeInode_ = 0;
  std::uint32_t error_ = 0;
  FeatureSender sender_;
  bool featurePending_ = false;  // started, completion not yet seen by poll
};

}  // namespace pelmora
