#pragma once
// Writes a trace file without ever making the worker wait for the disk: the
// worker encodes each record into a fixed byte ring and goes on; a writer
// thread of its own empties the ring into the file every tenth of a second
// (sooner when much is queued), each batch a checked block, flushed, so that
// a crash loses at most that tenth and leaves at worst a torn last block. A
// ring that is full (the disk kept up with nothing for seconds) loses
// records, and the file says how many at that point. The file stops growing
// at its size bound, with a closing record that says so.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>

#include "trace/trace_format.h"

namespace pelmora::trace {

class TraceWriter {
 public:
  // Seconds of a session streaming flat out.
  static constexpr std::size_t kRingBytes = std::size_t{4} << 20;
  // An hour or two of a streaming session.
  static constexpr std::uint32_t kDefaultLimitMiB = 100;

  // Creates (or truncates) the file (a UTF-8 path) and writes its header;
  // nullptr and a one-line `error` when that fails.
  static std::unique_ptr<TraceWriter> create(const std::string& path, const TraceHeader& header,
                                             std::string& error);
  ~TraceWriter();
  TraceWriter(const TraceWriter&) = delete;
  TraceWriter& operator=(const TraceWriter&) = delete;

  // How long finish() waits on a write that makes no progress (a hung
  // network share, a pipe nobody reads) before it leaves.
  static constexpr std::chrono::milliseconds kStallBudget{2000};

  // Writes what is still queued and stops the writer; later records are
  // dropped. When no write completes within `stallBudget`, it returns
  // anyway: the writer thread lets go of the file by itself once the write
  // returns, and writeError() says the end may be missing. The destructor
  // does the same.
  void finish(std::chrono::milliseconds stallBudget = kStallBudget);

  // Called on the worker thread; never waits for the disk.
  void record(const TraceRecord& record);

  std::uint64_t lost() const;         // records the ring had no room for
  bool limitReached() const;
  std::string writeError() const;     // the first write failure; empty when none

 private:
  // Everything the writer thread touches, kept alive by it after finish()
  // has given up on a stalled write.
  struct State;
  explicit TraceWriter(std::shared_ptr<State> state);

  std::shared_ptr<State> state_;
  std::thread writer_;
};

}  // namespace pelmora::trace
