#pragma once
// A minimal host for checking the simulated synthesizer with the host's own
// decoders: it sends commands, reads every report each simulated
// millisecond, reassembles them, matches answers through PendingRequest and
// feeds the stream into an LcdModel.
#include <bitset>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/protocol/command_channel.h"
#include "core/protocol/lcd_model.h"
#include "core/protocol/report_assembler.h"
#include "sim/sim_bus.h"
#include "sim/sim_device.h"
#include "sim/virtual_clock.h"

namespace pelmora::sim {

class HostDriver {
 public:
  HostDriver(SimBus& bus, VirtualClock& clock);

  bool open(const std::u16string& path);
  // Sends one command and waits up to `timeoutMs` for its matching answer;
  // empty when none matched.
  std::vector<std::uint8_t> command(Command code, std::uint32_t argument, std::uint64_t timeoutMs = 200);
  // HELLO, OPEN_SESSION, HEARTBEAT, REQUEST_STATE; the granted session id.
  std::uint32_t handshake();
  // Lets `ms` milliseconds pass, reading everything that arrives.
  void pump(std::uint64_t ms);

  IHidTransport& transport() { return *transport_; }

  LcdModel model;
  ReportAssembler responses;
  ReportAssembler stream;
  PendingRequest request;
  std::uint32_t sessionId = 0;
  bool keepAlive = true;
  bool reading = true;

  std::vector<std::vector<std::uint8_t>> answers;  // every complete RESPONSE
  std::vector<Report> reports;                     // every report read
  std::array<std::uint64_t, kKindCount + 1> messages{};  // complete messages by kind
  std::uint64_t shownFrames = 0;
  std::bitset<kModeCount> modesShown;
  std::uint64_t foreignReports = 0;
  std::uint64_t maxReportsInOneMs = 0;
  bool transferNumbersIncrease = true;

 private:
  void send(Command code, std::uint32_t argument);
  void readAll();
  void takeStream(const AssembledMessage& message);

  VirtualClock& clock_;
  std::unique_ptr<IHidTransport> transport_;
  std::uint32_t requestCounter_ = 0x7FFFFFF0;
  std::uint64_t lastHeartbeatMs_ = 0;
  std::array<std::uint32_t, kKindCount> lastTransfer_{};
  std::array<bool, kKindCount> sawTransfer_{};
};

// One simulated device on its own virtual bus, with a host to drive it.
struct SimRig {
  SimRig(const char16_t* path, const char16_t* serial, const DeviceConfig& config = {})
      : device(bus.addDevice(path, serial, config)) {}
  VirtualClock clock;
  SimBus bus{clock};
  SimDevice& device;
  HostDriver host{bus, clock};
};

inline std::uint8_t statusOf(const std::vector<std::uint8_t>& answer) {
  return answer.at(kResponseStatusOffset);
}

}  // namespace pelmora::sim
