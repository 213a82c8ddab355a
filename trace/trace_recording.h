#pragma once
// Makes a worker write a trace: wraps each of its hooks, its wait, its
// resume poll and its random draw so that every answer it gets from outside
// is recorded as it passes. A hook left empty is filled with the platform's
// default first, so the answers recorded are the ones the worker would have
// had anyway. Nothing changes for the worker but the time the copy takes.
#include <string>

#include "core/protocol/connection_worker.h"
#include "trace/trace_writer.h"

namespace pelmora::trace {

// The recording system, as the running program knows itself.
HostSystem ownSystem();

// The header of a trace this program writes under the given bound.
TraceHeader ownHeader(std::uint32_t limitMiB = TraceWriter::kDefaultLimitMiB);

class TraceRecording {
 public:
  // The writer must outlive every worker given the wrapped functions.
  explicit TraceRecording(TraceWriter& writer) : writer_(writer) {}

  // enumerate, createTransport and now always; wait only when present (a
  // worker without a wait hook uses its own wait function: wrap that).
  ConnectionHooks wrap(ConnectionHooks hooks) const;
  WaitFunction wrapWait(WaitFunction wait) const;
  ResumeCallback wrapResume(ResumeCallback poll) const;
  // An empty source stands for the platform's generator.
  RandomSource wrapRandom(RandomSource random) const;

 private:
  TraceWriter& writer_;
};

}  // namespace pelmora::trace
