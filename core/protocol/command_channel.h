#pragma once
// The host-to-device half of a session: one outstanding command at a time,
// its deadline, one re-send, and the matching of the device's answer.
#include <cstdint>
#include <vector>

#include "core/protocol/report_assembler.h"
#include "core/protocol/wire_format.h"

namespace pelmora {

class IHidTransport;

inline constexpr std::uint64_t kRequestTimeoutMs = 2000;

enum class TimeoutResult { Nothing, Resend, Failed };

struct PendingRequest {
  CommandReport command{};
  std::vector<std::uint8_t> response;
  std::uint64_t deadline = 0;
  std::uint8_t pending = 0;
  std::uint8_t retried = 0;

  // Throws std::logic_error("request already pending") while a request waits.
  void begin(std::uint8_t code, std::uint32_t requestId, std::uint32_t argument, std::uint64_t nowMs);
  // Offers a complete RESPONSE message; true when it answers the request.
  bool match(const std::uint8_t* message, std::size_t length);
  TimeoutResult checkTimeout(std::uint64_t nowMs);
  void clear();
  bool hasResponse() const { return pending == 0 && !response.empty(); }
};

// Everything one command send touches. The session engine owns the pieces;
// the channel borrows them for the duration of a send.
struct CommandChannel {
  IHidTransport* transport = nullptr;
  ReportAssembler responseAssembler;
  PendingRequest request;
  std::uint32_t requestCounter = 0;
  // Written by sendCommand for HEARTBEAT and REQUEST_STATE.
  std::uint64_t lastHeartbeatSent = 0;
  std::uint64_t lastStateRequest = 0;
  std::uint64_t heartbeats = 0;  // statistics: HEARTBEATs handed to the transport

  // The whole send of one command. Throws ConnectionError
  // "Connection Error\nFeature Send Failed\nError <code>" when the transport
  // refuses it.
  void sendCommand(std::uint8_t code, std::uint32_t argument, std::uint64_t nowMs);
};

}  // namespace pelmora
