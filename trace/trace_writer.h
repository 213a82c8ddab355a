#pragma once
// Writes a trace file without ever making the worker wait for the disk: the
// worker encodes each record into a fixed byte ring and goes on; a writer
// thread of its own empties the ring into the file every tenth of a second
// (sooner when much is queued), flushing every batch, so that a crash loses
// at most that tenth and leaves at worst a torn last record. A ring that is
// full (the disk kept up with nothing for seconds) loses records, and the
// file says how many at that point. The file stops growing at its size
// bound, with a closing record that says so.
#include <array>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

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

  // Writes what is still queued and stops the writer; later records are
  // dropped. The destructor does the same.
  void finish();

  // Called on the worker thread; never waits for the disk.
  void record(const TraceRecord& record);

  std::uint64_t lost() const;         // records the ring had no room for
  bool limitReached() const;
  std::string writeError() const;     // the first write failure; empty when none

 private:
  TraceWriter(std::ofstream file, std::uint64_t limitBytes, std::uint64_t headerBytes);
  void accept(const std::uint8_t* bytes, std::size_t length);
  void push(const std::uint8_t* bytes, std::size_t length);
  void writeLoop();
  bool writeBatch(const std::vector<std::uint8_t>& batch);

  std::ofstream file_;
  const std::uint64_t limitBytes_;  // 0: unbounded
  std::uint64_t accepted_;  // bytes the file will hold, header included (under the lock)

  // Encoding happens on the worker, under the lock, in this order.
  TraceEncoder encoder_;
  std::vector<std::uint8_t> scratch_;
  std::array<std::uint8_t, TraceEncoder::kMaxFixedRecord> fixed_{};

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<std::uint8_t> ring_;
  std::size_t head_ = 0;   // oldest queued byte
  std::size_t count_ = 0;  // bytes queued
  std::uint64_t lostPending_ = 0;  // lost since the last record that went in
  std::uint64_t lost_ = 0;
  bool closing_ = false;
  bool limitReached_ = false;
  std::string writeError_;
  std::thread writer_;
};

}  // namespace pelmora::trace
