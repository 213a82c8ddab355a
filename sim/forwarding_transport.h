#pragma once
// A transport that hands every call to another one. Tests and tools derive
// from it to watch or bend one operation of a simulated device's transport
// and leave the rest as it is.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "core/transport/hid_transport.h"

namespace pelmora::sim {

class ForwardingTransport : public IHidTransport {
 public:
  explicit ForwardingTransport(std::unique_ptr<IHidTransport> inner) : inner_(std::move(inner)) {}

  bool open(const std::u16string& path) override { return inner_->open(path); }
  bool readReport(std::uint8_t* report, bool& received) override { return inner_->readReport(report, received); }
  bool sendFeature(const std::uint8_t* report) override { return inner_->sendFeature(report); }
  bool poll() override { return inner_->poll(); }
  bool close(std::uint32_t timeoutMs) override { return inner_->close(timeoutMs); }
  std::uint32_t errorCode() const override { return inner_->errorCode(); }
  HostSystem codeSystem() const override { return inner_->codeSystem(); }
  bool isReading() const override { return inner_->isReading(); }
  bool isFeaturePending() const override { return inner_->isFeaturePending(); }
  ReportSignal reportSignal() override { return inner_->reportSignal(); }

 protected:
  std::unique_ptr<IHidTransport> inner_;
};

}  // namespace pelmora::sim
