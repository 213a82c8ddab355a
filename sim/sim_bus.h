#pragma once
// A simulated USB bus: devices at paths with serials, plugged and unplugged
// at any moment, enumerated as a platform would (finalizeDeviceList applied),
// opened through SimTransport. Everything runs on the thread that drives the
// clock (the worker's thread); the bus takes no locks. Transports and hooks
// refer to the bus: it must outlive them, and a clock must be set before a
// device is added.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/protocol/connection_worker.h"
#include "core/transport/hid_device_info.h"
#include "sim/faults.h"
#include "sim/sim_device.h"
#include "sim/sim_endpoint.h"
#include "sim/virtual_clock.h"

namespace pelmora::sim {

class SimBus {
 public:
  SimBus() = default;
  explicit SimBus(SimClock& clock) { setClock(clock); }
  ~SimBus();
  SimBus(const SimBus&) = delete;
  SimBus& operator=(const SimBus&) = delete;

  // Devices follow this clock: every wait that lets time pass also lets them
  // produce their reports.
  void setClock(SimClock& clock);
  SimClock& clock();

  // A simulated synthesizer, plugged in at once.
  SimDevice& addDevice(const std::u16string& path, const std::u16string& serial,
                       const DeviceConfig& config = {});
  // Any endpoint (a capture player, say) at a path, plugged in at once.
  void addEndpoint(const std::u16string& path, const std::u16string& serial,
                   std::shared_ptr<SimEndpoint> endpoint);
  // A listed device the platform already found wanting: it enumerates with
  // `error` and cannot be opened.
  void addFaultyEntry(const std::u16string& path, const std::u16string& serial,
                      const std::string& error);
  // Takes the entry off the bus for good.
  void remove(const std::u16string& path);

  void unplug(const std::u16string& path);
  // Plugs an unplugged entry back in, at its old path or a new one.
  void replug(const std::u16string& path);
  void replug(const std::u16string& path, const std::u16string& newPath);
  bool isPlugged(const std::u16string& path) const;

  SimDevice* device(const std::u16string& path);
  std::shared_ptr<SimEndpoint> endpointAt(const std::u16string& path) const;

  // Every plugged entry, in plugging order, then finalizeDeviceList.
  DeviceList enumerate();
  std::unique_ptr<IHidTransport> createTransport();
  // enumerate, createTransport, now and wait, wired to this bus and clock.
  ConnectionHooks hooks();
  ConnectionHooks hooks(SimClock& clock);

  // Brings every endpoint up to the clock.
  void sync();

  SimErrorCodes codes;
  // When set, enumerate returns no records at all (a platform whose device
  // list could not be read).
  bool enumerationBroken = false;

  int liveTransports() const { return liveTransports_; }
  std::uint64_t enumerations() const { return enumerations_; }
  void transportCreated() { ++liveTransports_; }
  void transportDestroyed() { --liveTransports_; }

 private:
  struct Entry {
    std::u16string path;
    std::u16string serial;
    std::string error;
    std::shared_ptr<SimEndpoint> endpoint;
    bool plugged = true;
  };
  Entry* find(const std::u16string& path);
  const Entry* find(const std::u16string& path) const;
  void detachClock();

  std::vector<Entry> entries_;
  SimClock* clock_ = nullptr;
  int listenerToken_ = 0;
  int liveTransports_ = 0;
  std::uint64_t enumerations_ = 0;
};

}  // namespace pelmora::sim
