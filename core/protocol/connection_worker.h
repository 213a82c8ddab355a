#pragma once
// One displayed LCD's worker: the supervisor loop (`run`) that finds devices
// and the session engine (`runSession`) that drives one of them. Everything
// here runs on the worker's own thread and takes no locks; results leave
// through the callbacks.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "core/protocol/connection_error.h"
#include "core/protocol/lcd_model.h"
#include "core/protocol/worker_recorder.h"
#include "core/render/lcd_canvas.h"
#include "core/transport/hid_device_info.h"
#include "core/transport/hid_transport.h"

namespace pelmora {

using WaitFunction = std::function<bool(std::uint32_t ms)>;  // true = stop requested
// Like a wait, but also ends when `signal` says a report has arrived.
using ReportWaitFunction = std::function<bool(std::uint32_t ms, const ReportSignal& signal)>;
using FrameCallback = std::function<void(const OutputFrame& frame)>;
using ModelCallback = std::function<void(const LcdModel& model, const LcdCanvas& canvas)>;
using RawReportCallback = std::function<void(const std::uint8_t* report)>;  // 64 bytes
using SerialCallback = std::function<void(const std::u16string& serial)>;
using ResumeCallback = std::function<bool()>;

// Optional overrides of the platform's pieces, in this order.
struct ConnectionHooks {
  std::function<DeviceList()> enumerate;
  std::function<std::unique_ptr<IHidTransport>()> createTransport;
  std::function<std::uint64_t()> now;
  WaitFunction wait;
  // A pause that a stop does not cut short, for the few places that must
  // let time pass even while stopping. A scripted clock must move here.
  std::function<void(std::uint32_t ms)> sleep;
  // The host's wait with a transport's report signal in it; given every
  // kind but `none`, and must end a `dueIn` wait by its time. Without it
  // only `dueIn` is waited on, through the plain wait.
  ReportWaitFunction waitForReport;
};

// The eight counters, in this order.
struct WorkerStatistics {
  std::uint64_t frames = 0;
  std::uint64_t states = 0;
  std::uint64_t images = 0;
  std::uint64_t sessions = 0;
  std::uint64_t heartbeats = 0;
  std::uint64_t failures = 0;
  std::uint64_t maxLoopGapMs = 0;
  std::uint64_t maxReadBurstMs = 0;
};

// 32 unpredictable bits; false when the generator failed.
using RandomSource = std::function<bool(std::uint32_t& out)>;
// Told each status text as its screen is drawn, before onFrame: the
// picture alone does not say which text it shows.
using StatusObserver = std::function<void(const std::string& text)>;

struct SessionState;

class ConnectionWorker {
 public:
  // The form built from a wait function and pollResume (macOS, Linux).
  // An empty wait function (with no wait hook) or an empty onFrame is a
  // programming error that surfaces as std::bad_function_call when first
  // used. An empty pollResume never reports a resume.
  ConnectionWorker(WaitFunction wait, FrameCallback onFrame, ModelCallback onModel,
                   RawReportCallback onRawReport, ConnectionHooks hooks,
                   SerialCallback onSerialChanged, ResumeCallback pollResume);
#if defined(_WIN32)
  // The Windows form: the host's event handles (HANDLE) in place of the wait
  // function and pollResume. The wait ends on `stopEvent` (stop) or
  // `wakeEvent` (may be null); `resumeEvent` is tested without waiting and
  // reset when set. Defined by the Windows platform library.
  ConnectionWorker(void* stopEvent, FrameCallback onFrame, void* wakeEvent, void* resumeEvent,
                   ModelCallback onModel, RawReportCallback onRawReport, ConnectionHooks hooks,
                   SerialCallback onSerialChanged);
#endif
  ~ConnectionWorker();
  ConnectionWorker(const ConnectionWorker&) = delete;
  ConnectionWorker& operator=(const ConnectionWorker&) = delete;

  // The supervisor loop; returns when stop is requested.
  void run();
  // One session attempt sequence on one device; never lets a
  // ConnectionError out.
  void runSession(const HidDeviceInfo& device, const std::u16string& serial);

  // The status screen over a copy of the worker frame, delivered via onFrame.
  void showStatus(const std::string& message, bool overLastImage);
  // Calls onSerialChanged only when the serial differs from the last one.
  void notifySerial(const std::u16string& serial);
  bool wait(std::uint32_t ms);
  // Waits up to `ms`, ending early when `signal` fires; a signal nobody
  // can sleep on shortens the wait to the idle pause.
  bool waitForReport(std::uint32_t ms, const ReportSignal& signal);
  // Lets the time pass whatever the stop request says.
  void sleep(std::uint32_t ms);
  std::uint64_t now();
  // Replaces the platform's secure generator (platformRandom32), so that a
  // failing generator can be exercised on every platform.
  void setRandomSource(RandomSource source) { random_ = std::move(source); }
  // Tells `recorder` (null: nobody) every answer from outside from now on;
  // it must outlive the worker.
  void setRecorder(WorkerRecorder* recorder) { recorder_ = recorder; }
  void setStatusObserver(StatusObserver observer) { statusObserver_ = std::move(observer); }

  const WorkerStatistics& statistics() const { return statistics_; }
  const OutputFrame& pixels() const { return *pixels_; }

  // Worker state, in field order.
  std::u16string deviceSerial;
  bool hasShownFrame = false;
  std::string lastError;
  std::u16string lastReportedSerial;

 private:
  WaitFunction waitFunction_;
  FrameCallback onFrame_;
  ModelCallback onModel_;
  RawReportCallback onRawReport_;
  ConnectionHooks hooks_;
  SerialCallback onSerialChanged_;
  ResumeCallback pollResume_;
  RandomSource random_;
  WorkerRecorder* recorder_ = nullptr;
  StatusObserver statusObserver_;

  std::unique_ptr<OutputFrame> pixels_;       // the last LCD frame
  std::unique_ptr<OutputFrame> statusFrame_;  // scratch for status screens
  // The big pieces of a session attempt (model, canvas, assemblers), made
  // once per worker and reset at every attempt.
  std::unique_ptr<SessionState> session_;
  WorkerStatistics statistics_;

  DeviceList enumerate();
  std::unique_ptr<IHidTransport> createTransport();
  bool pollResume();
  bool random32(std::uint32_t& out);

  friend class SessionEngine;
};

}  // namespace pelmora
