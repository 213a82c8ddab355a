#pragma once
// Makes a worker write a trace (ConnectionWorker::setRecorder): every answer
// it gets from outside is recorded as it passes. Nothing changes for the
// worker but the time the copy takes.
#include <cstdint>
#include <memory>

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

}  // namespace pelmora::trace
