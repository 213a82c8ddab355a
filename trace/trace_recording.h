#pragma once
// Makes a worker write a trace (ConnectionWorker::setRecorder): every answer
// it gets from outside is recorded as it passes. Nothing changes for the
// worker but the time the copy takes.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "core/protocol/worker_recorder.h"
#include "trace/trace_writer.h"

namespace pelmora::trace {

// The recording system, as the running program knows itself.
HostSystem ownSystem();

// The header of a trace this program writes under the given bound.
TraceHeader ownHeader(std::uint32_t limitMiB = TraceWriter::kDefaultLimitMiB);

class TraceRecording final : public WorkerRecorder {
 public:
  // The writer must outlive every worker told to use this recording.
  explicit TraceRecording(TraceWriter& writer) : writer_(writer) {}

  void devicesFound(const DeviceList& devices) override;
  // Wraps the transport in a RecordingTransport.
  std::unique_ptr<IHidTransport> transportMade(std::unique_ptr<IHidTransport> made) override;
  void clockRead(std::uint64_t ms) override;
  void waited(std::uint32_t ms, bool stop) override;
  void resumePolled(bool resumed) override;
  void randomDrawn(bool ok, std::uint32_t value) override;

 private:
  void note(TraceCall call, bool ok, std::uint64_t value = 0);

  TraceWriter& writer_;
};

// `--record FILE` as every host runs it: the file, the recording a worker is
// given, and what the user must be told about them, once.
class ProgramRecording {
 public:
  // Starts writing `path` (UTF-8). When the file cannot be made nothing is
  // recorded, and takeFailure() says why.
  explicit ProgramRecording(const std::string& path);

  // For ConnectionWorker::setRecorder or SessionBridgeOptions::recorder;
  // null when the file could not be made. Must outlive the worker.
  WorkerRecorder* recorder() { return recording_ ? &*recording_ : nullptr; }
  const TraceWriter* writer() const { return writer_.get(); }

  // Why the recording failed (the file could not be made, or a write
  // failed later), once; empty before and after. Cheap enough for every
  // tick of a window's timer.
  std::string takeFailure();

  // At the program's end, also while a late worker still runs: writes what
  // is queued within TraceWriter::finish's bound; later calls are dropped.
  void finish();

 private:
  std::unique_ptr<TraceWriter> writer_;
  std::optional<TraceRecording> recording_;
  std::string failure_;  // not yet told
  bool told_ = false;
};

}  // namespace pelmora::trace
