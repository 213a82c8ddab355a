#include "core/protocol/connection_worker.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "core/protocol/session_engine.h"
#include "core/transport/platform.h"

namespace pelmora {

ConnectionWorker::ConnectionWorker(WaitFunction wait, FrameCallback onFrame, ModelCallback onModel,
                                   RawReportCallback onRawReport, ConnectionHooks hooks,
                                   SerialCallback onSerialChanged, ResumeCallback pollResume)
    : waitFunction_(std::move(wait)),
      onFrame_(std::move(onFrame)),
      onModel_(std::move(onModel)),
      onRawReport_(std::move(onRawReport)),
      hooks_(std::move(hooks)),
      onSerialChanged_(std::move(onSerialChanged)),
      pollResume_(std::move(pollResume)),
      pixels_(std::make_unique<OutputFrame>()),
      statusFrame_(std::make_unique<OutputFrame>()),
      session_(std::make_unique<SessionState>()) {}

ConnectionWorker::~ConnectionWorker() = default;

// The wait hook wins over the host's wait function; with neither, the call
// fails with std::bad_function_call.
bool ConnectionWorker::wait(std::uint32_t ms) {
  const bool stop = hooks_.wait ? hooks_.wait(ms) : waitFunction_(ms);
  if (recorder_) recorder_->waited(ms, stop);
  return stop;
}

bool ConnectionWorker::waitForReport(std::uint32_t ms, const ReportSignal& signal) {
  using Kind = ReportSignal::Kind;
  if (signal.kind != Kind::none && hooks_.waitForReport) {
    const bool stop = hooks_.waitForReport(ms, signal);
    if (recorder_) recorder_->waited(ms, stop);
    return stop;
  }
  if (signal.kind == Kind::dueIn) return wait(std::min(ms, signal.dueEndMs()));
  return wait(std::min(ms, kIdleWaitMs));
}

void ConnectionWorker::sleep(std::uint32_t ms) {
  if (hooks_.sleep) {
    hooks_.sleep(ms);
  } else {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
}

std::uint64_t ConnectionWorker::now() {
  const std::uint64_t t = hooks_.now ? hooks_.now() : platformNowMs();
  if (recorder_) recorder_->clockRead(t);
  return t;
}

void ConnectionWorker::notifySerial(const std::u16string& serial) {
  if (serial == lastReportedSerial) return;
  lastReportedSerial = serial;
  if (onSerialChanged_) onSerialChanged_(lastReportedSerial);
}

DeviceList ConnectionWorker::enumerate() {
  DeviceList devices = hooks_.enumerate ? hooks_.enumerate() : enumerateDevices();
  if (recorder_) recorder_->devicesFound(devices);
  return devices;
}

std::unique_ptr<IHidTransport> ConnectionWorker::createTransport() {
  std::unique_ptr<IHidTransport> transport =
      hooks_.createTransport ? hooks_.createTransport() : createPlatformTransport();
  if (recorder_) transport = recorder_->transportMade(std::move(transport));
  if (!transport) throw std::runtime_error("Transport allocation failed");
  return transport;
}

bool ConnectionWorker::pollResume() {
  const bool resumed = pollResume_ && pollResume_();
  if (recorder_) recorder_->resumePolled(resumed);
  return resumed;
}

bool ConnectionWorker::random32(std::uint32_t& out) {
  const bool ok = random_ ? random_(out) : platformRandom32(out);
  if (recorder_) recorder_->randomDrawn(ok, ok ? out : 0);
  return ok;
}

}  // namespace pelmora
