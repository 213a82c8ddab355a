#pragma once
// The host's transport over a simulated device path: the same contract as a
// platform transport (exclusive open, sticky error code, one feature
// transfer in flight, close that refuses while a transfer is outstanding,
// undelivered reports forgotten on close, one report per read in arrival
// order), with time taken from the bus's clock.
#include <cstdint>
#include <memory>
#include <string>

#include "core/transport/hid_transport.h"
#include "sim/faults.h"
#include "sim/sim_endpoint.h"

namespace pelmora::sim {

class SimBus;

class SimTransport final : public IHidTransport {
 public:
  explicit SimTransport(SimBus& bus);
  ~SimTransport() override;

  bool open(const std::u16string& path) override;
  bool readReport(std::uint8_t* report, bool& received) override;
  bool sendFeature(const std::uint8_t* report) override;
  bool poll() override;
  bool close(std::uint32_t timeoutMs) override;
  std::uint32_t errorCode() const override { return error_; }
  HostSystem codeSystem() const override { return kSimCodeSystem; }
  bool isReading() const override { return endpoint_ != nullptr && error_ == 0; }
  bool isFeaturePending() const override { return featurePending_; }
  // When the device's next report lands, on the bus's clock.
  ReportSignal reportSignal() override;

  bool isOpen() const { return endpoint_ != nullptr; }

 private:
  // Brings the devices up to the clock; true when the opened device has gone
  // (unplugged, or replugged since).
  bool syncAndGone();
  bool fail(std::uint32_t code);
  void completeFeatureIfDue();
  void detach();

  SimBus& bus_;
  std::shared_ptr<SimEndpoint> endpoint_;
  std::uint32_t connection_ = 0;
  std::uint32_t error_ = 0;
  bool featurePending_ = false;
  bool cancelRequested_ = false;
  std::uint64_t featureDueMs_ = 0;
  Report feature_{};
};

}  // namespace pelmora::sim
