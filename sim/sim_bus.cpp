#include "sim/sim_bus.h"

#include <algorithm>
#include <stdexcept>

#include "core/transport/device_list.h"
#include "sim/sim_transport.h"

namespace pelmora::sim {

SimBus::~SimBus() { detachClock(); }

void SimBus::detachClock() {
  if (clock_ != nullptr) clock_->unsubscribe(listenerToken_);
  clock_ = nullptr;
}

void SimBus::setClock(SimClock& clock) {
  if (clock_ == &clock) return;
  detachClock();
  clock_ = &clock;
  listenerToken_ = clock.subscribe([this](std::uint64_t) { sync(); });
}

SimClock& SimBus::clock() {
  if (clock_ == nullptr) throw std::logic_error("simulated bus without a clock");
  return *clock_;
}

SimBus::Entry* SimBus::find(const std::u16string& path) {
  auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.path == path; });
  return it == entries_.end() ? nullptr : &*it;
}

const SimBus::Entry* SimBus::find(const std::u16string& path) const {
  auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.path == path; });
  return it == entries_.end() ? nullptr : &*it;
}

SimDevice& SimBus::addDevice(const std::u16string& path, const std::u16string& serial,
                             const DeviceConfig& config) {
  auto device = std::make_shared<SimDevice>(config);
  SimDevice& ref = *device;
  addEndpoint(path, serial, std::move(device));
  return ref;
}

void SimBus::addEndpoint(const std::u16string& path, const std::u16string& serial,
                         std::shared_ptr<SimEndpoint> endpoint) {
  if (find(path) != nullptr) throw std::invalid_argument("path already on the bus");
  endpoint->plugIn(clock().now());
  entries_.push_back({path, serial, {}, std::move(endpoint), true});
}

void SimBus::addFaultyEntry(const std::u16string& path, const std::u16string& serial,
                            const std::string& error) {
  if (find(path) != nullptr) throw std::invalid_argument("path already on the bus");
  entries_.push_back({path, serial, error, nullptr, true});
}

void SimBus::remove(const std::u16string& path) {
  unplug(path);
  std::erase_if(entries_, [&](const Entry& e) { return e.path == path; });
}

void SimBus::unplug(const std::u16string& path) {
  Entry* entry = find(path);
  if (entry == nullptr || !entry->plugged) return;
  sync();
  entry->plugged = false;
  if (entry->endpoint) entry->endpoint->unplug();
}

void SimBus::replug(const std::u16string& path) { replug(path, path); }

void SimBus::replug(const std::u16string& path, const std::u16string& newPath) {
  Entry* entry = find(path);
  if (entry == nullptr || entry->plugged) return;
  if (newPath != path && find(newPath) != nullptr) throw std::invalid_argument("path already on the bus");
  sync();
  entry->path = newPath;
  entry->plugged = true;
  if (entry->endpoint) entry->endpoint->plugIn(clock().now());
}

bool SimBus::isPlugged(const std::u16string& path) const {
  const Entry* entry = find(path);
  return entry != nullptr && entry->plugged;
}

SimDevice* SimBus::device(const std::u16string& path) {
  Entry* entry = find(path);
  return entry == nullptr ? nullptr : dynamic_cast<SimDevice*>(entry->endpoint.get());
}

std::shared_ptr<SimEndpoint> SimBus::endpointAt(const std::u16string& path) const {
  const Entry* entry = find(path);
  if (entry == nullptr || !entry->plugged) return nullptr;
  return entry->endpoint;
}

DeviceList SimBus::enumerate() {
  ++enumerations_;
  DeviceList list;
  if (enumerationBroken) return list;
  for (const Entry& entry : entries_) {
    if (entry.plugged) list.push_back({entry.path, entry.serial, entry.error});
  }
  finalizeDeviceList(list);
  return list;
}

std::unique_ptr<IHidTransport> SimBus::createTransport() { return std::make_unique<SimTransport>(*this); }

ConnectionHooks SimBus::hooks() {
  SimClock* clock = &this->clock();
  return ConnectionHooks{
      [this] { return enumerate(); },
      [this] { return createTransport(); },
      [clock] { return clock->now(); },
      [clock](std::uint32_t ms) { return clock->wait(ms); },
      [clock](std::uint32_t ms) { clock->sleep(ms); },
      nullptr,  // the plain wait, shortened to the transport's report
  };
}

ConnectionHooks SimBus::hooks(SimClock& clock) {
  setClock(clock);
  return hooks();
}

void SimBus::sync() {
  if (clock_ == nullptr) return;
  const std::uint64_t now = clock_->now();
  for (Entry& entry : entries_) {
    if (entry.endpoint) entry.endpoint->advanceTo(now);
  }
}

}  // namespace pelmora::sim
