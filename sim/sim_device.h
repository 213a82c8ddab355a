#pragma once
// The simulated synthesizer: answers every command report the way the real
// device does and, while a session is open and heartbeats keep arriving,
// streams its display as STATE, FRAME and IMAGE messages cut into input
// reports. Device behaviour worth knowing:
//   - HELLO is always answered (session id field 0); OPEN_SESSION grants a
//     fresh non-zero session id and ends any earlier session.
//   - HEARTBEAT, REQUEST_STATE and CLOSE_SESSION for a session that is not
//     the open one are answered with status 1 (rejected), echoing what they
//     carried: the host learns that its session is gone.
//   - A command report with another report ID or without the magic is not a
//     command and is ignored; one with the magic but another protocol version
//     is answered with status 2 (unsupported); an unknown command code is
//     ignored (there is no valid way to echo it).
//   - The stream starts with the session's first HEARTBEAT and ends when the
//     session is closed, replaced, or when no HEARTBEAT came for
//     `sessionTimeoutMs`.
//   - A frame is skipped (not queued late) when the transmit buffer still
//     holds more than about two frames' worth of reports.
#include <bitset>
#include <list>
#include <cstdint>
#include <string>

#include "sim/content.h"
#include "sim/faults.h"
#include "sim/message_builders.h"
#include "sim/sim_endpoint.h"
#include "sim/sim_random.h"

namespace pelmora::sim {

struct DeviceConfig {
  std::uint64_t seed = 1;
  int fixedMode = kCycleModes;
  std::uint32_t modeCycleMs = 6000;
  std::uint32_t framePeriodMs = 33;
  bool debugLines = false;
  std::uint32_t sessionTimeoutMs = 5000;
  std::size_t deviceQueueReports = InputPipe::kDefaultDeviceCapacity;
  std::size_t hostQueueReports = InputPipe::kDefaultHostCapacity;
  HelloFields hello{};
  // Where frame, state and image-row numbers start after power-up; set near
  // 0xFFFFFFFF to see them wrap.
  std::uint32_t sequenceStart = 0;
};

struct DeviceCounters {
  std::uint64_t commands = 0;        // valid command reports received
  std::uint64_t answers = 0;         // RESPONSE messages queued
  std::uint64_t frames = 0;
  std::uint64_t states = 0;
  std::uint64_t images = 0;
  std::uint64_t framesSkipped = 0;   // transmit buffer too full
  std::uint64_t sessionsOpened = 0;
  std::uint64_t sessionsExpired = 0;  // heartbeats stopped
  std::uint64_t sessionsClosed = 0;   // CLOSE_SESSION
  std::uint64_t heartbeats = 0;
  std::uint64_t stateRequests = 0;
  std::uint64_t fragmentsFaulted = 0;
};

class SimDevice final : public SimEndpoint {
 public:
  explicit SimDevice(const DeviceConfig& config = {});

  std::uint32_t sessionId() const { return sessionId_; }
  bool streaming() const { return sessionId_ != 0 && streaming_; }
  std::uint32_t stateSeq() const { return stateSeq_; }
  std::uint32_t frameSeq() const { return frameSeq_; }
  const DeviceCounters& counters() const { return counters_; }
  const Content& content() const { return content_; }
  // The code of the last command received, 0 before any.
  std::uint8_t lastCommand() const { return lastCommand_; }

  // Switches the page; kCycleModes cycles through all seven.
  void setMode(int mode);
  void setDebugLines(bool on);

  DeviceFaults faults;
  FragmentFaults fragmentFaults;

 protected:
  void step(std::uint64_t nowMs) override;
  void onFeature(const Report& report, std::uint64_t nowMs) override;
  void onPowerUp(std::uint64_t nowMs) override;
  std::uint64_t nextOutputMs() const override;

 private:
  void handleCommand(const CommandFields& command, std::uint64_t nowMs);
  void answer(const CommandFields& command, Message message);
  void sendAnswer(const Message& message);
  void endSession();
  void openSession(std::uint64_t nowMs);
  void produceFrame(std::uint64_t nowMs);
  void sendState();
  void sendImageRows(Mode mode);
  void sendMessage(MessageKind kind, const Message& message, bool urgent);
  void queueFragments(std::vector<Report>& reports, MessageKind kind, bool urgent);
  std::uint32_t nextTransfer(MessageKind kind);

  DeviceConfig config_;
  Content content_;
  SimRandom random_;
  DeviceCounters counters_;

  std::array<std::uint32_t, kKindCount> transfers_{};
  std::uint32_t sessionId_ = 0;
  std::uint32_t lastSessionId_ = 0;
  bool streaming_ = false;
  std::uint64_t lastHeartbeatMs_ = 0;
  std::uint64_t nextFrameMs_ = 0;
  std::uint32_t frameSeq_ = 0;
  std::uint32_t stateSeq_ = 0;
  std::uint32_t sentStateVersion_ = 0;
  bool stateDue_ = false;
  std::uint8_t lastCommand_ = 0;

  std::uint32_t imageId_ = 0;
  std::uint32_t rowSeq_ = 0;
  std::bitset<kPictureSize> rowsPending_;
  std::uint8_t refreshRow_ = 0;
  FrameFields frame_;

  struct DelayedAnswer {
    std::uint64_t dueMs;
    Message message;
  };
  std::list<DelayedAnswer> delayedAnswers_;
};

}  // namespace pelmora::sim
