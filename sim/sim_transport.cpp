#include "sim/sim_transport.h"

#include <algorithm>

#include "sim/sim_bus.h"

namespace pelmora::sim {

SimTransport::SimTransport(SimBus& bus) : bus_(bus) { bus_.transportCreated(); }

SimTransport::~SimTransport() {
  // Nothing of the host's can still be written to once we are gone: a stuck
  // transfer is simply abandoned with the simulated device.
  detach();
  bus_.transportDestroyed();
}

bool SimTransport::fail(std::uint32_t code) {
  if (error_ == 0) error_ = code;
  return false;
}

void SimTransport::detach() {
  if (endpoint_ && endpoint_->connection() == connection_) endpoint_->release();
  endpoint_.reset();
  featurePending_ = false;
  cancelRequested_ = false;
}

bool SimTransport::open(const std::u16string& path) {
  if (endpoint_) return fail(bus_.codes.busy);  // still open: a caller's mistake
  error_ = 0;
  bus_.sync();
  auto endpoint = bus_.endpointAt(path);
  if (!endpoint) return fail(bus_.codes.notFound);
  if (endpoint->link.openFailures.armed()) {
    endpoint->link.openFailures.fire();
    return fail(endpoint->link.openFailureCode);
  }
  if (endpoint->held()) return fail(bus_.codes.busy);
  endpoint->hold();
  endpoint_ = std::move(endpoint);
  connection_ = endpoint_->connection();
  return true;
}

bool SimTransport::syncAndGone() {
  bus_.sync();
  return !endpoint_->plugged() || endpoint_->connection() != connection_;
}

bool SimTransport::readReport(std::uint8_t* report, bool& received) {
  received = false;
  if (error_ != 0 || !endpoint_) return fail(bus_.codes.notFound);
  if (syncAndGone()) return fail(bus_.codes.gone);
  if (endpoint_->link.readFailures.fire()) return fail(endpoint_->link.readFailureCode);
  Report next;
  if (!endpoint_->popInput(next)) return true;
  std::copy(next.begin(), next.end(), report);
  received = true;
  return true;
}

ReportSignal SimTransport::reportSignal() {
  if (!endpoint_ || error_ != 0) return {};
  const std::uint64_t now = bus_.clock().now();
  const std::uint64_t arrival = endpoint_->nextArrivalMs();
  ReportSignal signal;
  signal.kind = ReportSignal::Kind::dueIn;
  signal.dueInMs = static_cast<std::uint32_t>(std::min<std::uint64_t>(arrival > now ? arrival - now : 0, UINT32_MAX));
  return signal;
}

void SimTransport::completeFeatureIfDue() {
  if (!featurePending_ || endpoint_->link.featureStuck) return;
  if (cancelRequested_) {
    // The cancellation has taken effect: the device never sees the report.
    featurePending_ = false;
    return;
  }
  if (bus_.clock().now() < featureDueMs_) return;
  featurePending_ = false;
  endpoint_->receiveFeature(feature_);
}

bool SimTransport::sendFeature(const std::uint8_t* report) {
  if (error_ != 0 || !endpoint_) return fail(bus_.codes.notFound);
  if (syncAndGone()) return fail(bus_.codes.gone);
  if (featurePending_) return fail(bus_.codes.featureBusy);
  if (endpoint_->link.featureRefusals.fire()) return fail(endpoint_->link.featureFailureCode);
  std::copy(report, report + kReportLength, feature_.begin());
  featurePending_ = true;
  cancelRequested_ = false;
  featureDueMs_ = bus_.clock().now() + endpoint_->link.featureDelayMs;
  completeFeatureIfDue();
  return true;
}

bool SimTransport::poll() {
  if (error_ != 0 || !endpoint_) return fail(bus_.codes.notFound);
  // With nothing in flight there is nothing to learn from a vanished device
  // here; its absence shows at the next read.
  if (syncAndGone()) return featurePending_ ? fail(bus_.codes.gone) : true;
  if (endpoint_->link.pollFailures.fire()) return fail(endpoint_->link.pollFailureCode);
  completeFeatureIfDue();
  return true;
}

bool SimTransport::close(std::uint32_t) {
  if (!endpoint_) return true;
  if (endpoint_->link.closeRefusals.fire()) return false;
  const bool gone = !endpoint_->plugged() || endpoint_->connection() != connection_;
  if (featurePending_ && !gone) {
    // Cancellation is asked for now and observed by a later call.
    const bool wasRequested = cancelRequested_;
    cancelRequested_ = true;
    if (!wasRequested) return false;
    featurePending_ = false;
  }
  detach();
  return true;
}

}  // namespace pelmora::sim
