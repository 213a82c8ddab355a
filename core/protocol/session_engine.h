#pragma once
// Drives one opened device: handshake, keep-alive, the read loop that feeds
// the display model, frame delivery, the timers, and the single in-place
// reconnect. Every failure becomes a ConnectionError whose text is what the
// user sees.
#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "core/protocol/command_channel.h"
#include "core/protocol/connection_worker.h"
#include "core/protocol/lcd_model.h"
#include "core/protocol/report_assembler.h"
#include "core/render/lcd_canvas.h"

namespace pelmora {

enum class SessionPhase { helloSent, openSent, firstHeartbeatSent, streaming };

// Timing of a session, in milliseconds.
// The longest a report waits for a loop that cannot be woken by it.
inline constexpr std::uint32_t kIdleWaitMs = 1;
// A timed wait on a coarse clock (Windows: 15.6 ms ticks) may end a tick
// after its time; the last tick before a deadline is covered by idle
// pauses, so the deadline is seen on the first tick that reaches it. The
// tick is learnt from the clock's smallest step, starting from this bound.
inline constexpr std::uint64_t kDeadlineApproachMs = 16;
inline constexpr std::uint32_t kCloseRetryWaitMs = 10;
inline constexpr std::uint32_t kFailureShowMs = 1000;
inline constexpr std::uint64_t kSyncTimeoutMs = 30000;
inline constexpr std::uint64_t kMissingStateTimeoutMs = 30000;
inline constexpr std::uint64_t kStreamStoppedMs = 5000;
inline constexpr std::uint64_t kSessionExpiredMs = 5000;
inline constexpr std::uint64_t kHeartbeatIntervalMs = 1000;
inline constexpr std::uint64_t kStateRequestIntervalMs = 500;
inline constexpr std::uint64_t kReadBurstMs = 5;
inline constexpr int kReadBurstReports = 256;
// After the CLOSE_SESSION of a stop: how long its transfer may take before
// the transport is closed (and the transfer cancelled).
inline constexpr std::uint64_t kCloseDrainMs = 250;
// ... and the pause between two looks at it.
inline constexpr std::uint32_t kCloseDrainPollMs = 1;
// How long after the resume notice that started a reconnect further notices
// still belong to the same wake.
inline constexpr std::uint64_t kWakeNoticeSpreadMs = 5000;

// Status texts of a session.
inline constexpr const char* kTextConnecting = "Connecting...";
inline constexpr const char* kTextReconnecting = "Reconnecting...";
inline constexpr const char* kTextConnectionError = "Connection Error";
inline constexpr const char* kTextCancellationPending = "Connection Error\nI/O Cancellation Pending";
inline constexpr const char* kTextRandomFailed = "Connection Error\nRandom Number Failed";
inline constexpr const char* kTextPowerResume = "Connection Error\nPower Resume";
inline constexpr const char* kTextCompletionFailed = "Connection Error\nFeature Completion Failed";
inline constexpr const char* kTextReadFailed = "Connection Error\nRead Failed";
inline constexpr const char* kTextUnsupportedProtocol = "Unsupported Protocol";
inline constexpr const char* kTextProtocolBusy = "Device Busy\nProtocol BUSY";
inline constexpr const char* kTextDeviceBusyPrefix = "Device Busy";
inline constexpr const char* kTextCommandRejected = "Connection Error\nCommand Rejected";
inline constexpr const char* kTextFeatureIoTimeout = "Connection Error\nFeature I/O Timeout";
inline constexpr const char* kTextFeatureRetryFailed = "Connection Error\nFeature Retry Failed";
inline constexpr const char* kTextResponseTimeout = "Response Timeout";
inline constexpr const char* kTextSyncTimeout = "Response Timeout\nLCD Synchronization";
inline constexpr const char* kTextMissingState = "Response Timeout\nMissing STATE";
inline constexpr const char* kTextStreamStopped = "Connection Error\nLCD Stream Stopped";
inline constexpr const char* kTextSessionExpired = "Connection Error\nSession Expired";

// `text` followed by "\nError " and the code in unsigned decimal.
std::string withErrorCode(const char* text, std::uint32_t code);

// The pieces of an attempt that are too big to rebuild per attempt. The
// worker makes one and every attempt resets it.
struct SessionState {
  CommandChannel channel;
  ReportAssembler streamAssembler;
  LcdModel model;
  LcdCanvas canvas;
  Report report{};
  AssembledMessage message;  // keeps its capacity from message to message
  std::array<std::uint8_t, kResponseMaxLength> answer{};
  std::size_t answerLength = 0;
};

class SessionEngine {
 public:
  SessionEngine(ConnectionWorker& worker, const HidDeviceInfo& device, const std::u16string& serial);
  ~SessionEngine();
  SessionEngine(const SessionEngine&) = delete;
  SessionEngine& operator=(const SessionEngine&) = delete;

  void run();

 private:
  enum class Step { Continue, NextIteration, Stop };

  void runAttempts();
  bool reopenInPlace();
  bool openWhenFree(const std::string* cause);
  // One open; true when it succeeded, else its code is kept in openError_.
  bool tryOpen();
  void resetAttempt();
  void runAttempt();
  Step iterate();
  bool readBurst(std::uint64_t start);
  void handleReport();
  void takeStreamReport(std::uint64_t t);
  void takeResponseReport(std::uint64_t t);
  void intake(std::uint8_t kind, const std::uint8_t* bytes, std::size_t length);
  Step serviceCommandChannel(std::uint64_t t);
  Step dispatchAnswer();
  void checkResume(std::uint64_t t);
  void checkTimers(std::uint64_t t) const;
  void keepAlive(std::uint64_t t);
  // The earliest time at which a timer or the keep-alive acts.
  std::uint64_t nextDeadline() const;
  void waitForWork(std::uint64_t t);
  void send(Command command, std::uint32_t argument);
  void sendCloseSession();
  void drainCloseSession();
  void renderAndDeliver();
  void deliverFrame();
  bool failureAllowsRetry(const ConnectionError& error);
  void finish();
  std::string openFailureMessage() const;

  ConnectionWorker& worker_;
  const HidDeviceInfo& device_;
  const std::u16string& serial_;
  SessionState& state_;
  std::unique_ptr<IHidTransport> transport_;

  std::uint32_t sessionId_ = 0;
  SessionPhase phase_ = SessionPhase::helloSent;
  bool helloRetried_ = false;
  bool frameDelivered_ = false;
  bool pendingTimerRunning_ = false;
  std::uint32_t attemptCounter_ = 0;
  bool deviceGone_ = false;
  // Set while an in-place reconnect that a resume started has delivered no
  // frame yet; cleared by the first frame.
  bool resumeReconnect_ = false;
  std::uint64_t resumeNoticeAt_ = 0;  // of the notice that started it
  std::string lastErrorText_ = kTextConnectionError;
  std::uint32_t openError_ = 0;  // of the last failed open

  std::uint64_t syncDeadline_ = 0;
  std::uint64_t lastFrameAccepted_ = 0;
  std::uint64_t pendingSince_ = 0;
  std::uint64_t prevIteration_ = 0;
  std::uint64_t clockStepMs_ = kDeadlineApproachMs;  // the smallest step the clock was seen to take
};

}  // namespace pelmora
