#include "sim_link_support.h"

#include <algorithm>

namespace pelmora::testing {

SimIokitLink::SimIokitLink(sim::SimBus& bus, std::u16string simPath, const fake_iokit::DeviceSpec& spec)
    : bus_(bus), simPath_(std::move(simPath)), entryId_(fake_iokit::addDevice(spec)) {
  fake_iokit::Backend backend;
  backend.service = [this] { service(); };
  backend.opened = [this] { bus_.endpointAt(simPath_)->hold(); };
  backend.closed = [this] {
    if (bus_.isPlugged(simPath_)) bus_.endpointAt(simPath_)->release();
  };
  backend.featureReceived = [this](const std::uint8_t* bytes, std::size_t length) {
    Report report{};
    std::copy_n(bytes, std::min(length, report.size()), report.begin());
    bus_.endpointAt(simPath_)->receiveFeature(report);
  };
  fake_iokit::setBackend(entryId_, std::move(backend));
}

void SimIokitLink::service() {
  if (removed_) return;
  bus_.sync();
  if (!bus_.isPlugged(simPath_)) {
    removed_ = true;
    fake_iokit::unplug(entryId_);
    return;
  }
  Report report;
  while (bus_.endpointAt(simPath_)->popInput(report)) fake_iokit::pushReport(entryId_, report.data());
}

}  // namespace pelmora::testing
