#include "core/protocol/command_channel.h"

#include <stdexcept>
#include <string>

#include "core/protocol/byte_order.h"
#include "core/protocol/connection_error.h"
#include "core/transport/hid_transport.h"

namespace pelmora {

void PendingRequest::begin(std::uint8_t code, std::uint32_t requestId, std::uint32_t argument,
                           std::uint64_t nowMs) {
  if (pending != 0) {
    throw std::logic_error("request already pending");
  }
  command = buildCommand(code, requestId, argument);
  response.clear();
  pending = 1;
  retried = 0;
  deadline = nowMs + kRequestTimeoutMs;
}

bool PendingRequest::match(const std::uint8_t* message, std::size_t length) {
  if (pending == 0 || !validateMessage(static_cast<std::uint8_t>(MessageKind::Response), message, length)) {
    return false;
  }
  if (readU32(message + kResponseRequestIdOffset) != readU32(&command[kCommandRequestIdOffset]) ||
      readU32(message + kResponseArgumentOffset) != readU32(&command[kCommandArgumentOffset]) ||
      message[kResponseCommandOffset] != command[kCommandCodeOffset]) {
    return false;
  }
  response.assign(message, message + length);
  pending = 0;
  return true;
}

TimeoutResult PendingRequest::checkTimeout(std::uint64_t nowMs) {
  if (pending == 0 || nowMs < deadline) return TimeoutResult::Nothing;
  if (retried != 0) {
    pending = 0;
    return TimeoutResult::Failed;
  }
  retried = 1;
  deadline = nowMs + kRequestTimeoutMs;
  return TimeoutResult::Resend;
}

void PendingRequest::clear() {
  command.fill(0);
  response.clear();
  deadline = 0;
  pending = 0;
  retried = 0;
}

void CommandChannel::sendCommand(std::uint8_t code, std::uint32_t argument, std::uint64_t nowMs) {
  if (transport == nullptr) {
    throw std::logic_error("command channel without transport");
  }
  // Answers to anything sent earlier must not complete from here on.
  responseAssembler.reset(argument);
  ++requestCounter;
  request.begin(code, requestCounter, argument, nowMs);
  if (!transport->sendFeature(request.command.data())) {
    throw ConnectionError("Connection Error\nFeature Send Failed\nError " +
                          std::to_string(transport->errorCode()));
  }
  if (code == static_cast<std::uint8_t>(Command::Heartbeat)) {
    lastHeartbeatSent = nowMs;
    ++heartbeats;
  } else if (code == static_cast<std::uint8_t>(Command::RequestState)) {
    lastStateRequest = nowMs;
  }
}

}  // namespace pelmora
