#pragma once
// `pelmora --record FILE`: every raw input report the session reads goes to
// a capture file as it arrives, stamped with the time it was read. The
// worker only copies the report into a fixed ring; a writer thread of its
// own does the file work, so a slow disk never stalls the session and
// memory stays bounded. When the ring is full (the disk keeps up with
// nothing for seconds) reports are dropped and counted, not queued. Each
// batch is written straight to the file, so a crash loses at most what was
// still in the ring and leaves at worst a torn last record.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bridge/session_bridge.h"
#include "sim/capture.h"

namespace pelmora::app {

class ReportRecorder {
 public:
  // About eight seconds of a device sending flat out.
  static constexpr std::size_t kRingRecords = 8192;

  // Creates (or truncates) the file and writes its header; nullptr and a
  // one-line `error` when that fails.
  static std::unique_ptr<ReportRecorder> create(const std::string& path, std::string& error);
  // Writes what is still queued and closes the file.
  ~ReportRecorder();
  ReportRecorder(const ReportRecorder&) = delete;
  ReportRecorder& operator=(const ReportRecorder&) = delete;

  // Writes what is still queued and stops the writer; later reports are
  // dropped. The destructor does the same.
  void finish();

  // Called on the worker thread; never waits for the disk.
  void record(std::uint64_t timeMs, const std::uint8_t* report);

  std::uint64_t recorded() const;  // reports handed over so far
  std::uint64_t dropped() const;   // reports lost to a full ring
  std::string writeError() const;  // the first write failure; empty when none

 private:
  explicit ReportRecorder(int fd);
  void writeLoop();
  bool writeAll(const std::uint8_t* bytes, std::size_t length);

  int fd_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<sim::CapturedReport> ring_;
  std::size_t head_ = 0;   // oldest queued record
  std::size_t count_ = 0;  // records queued
  std::uint64_t recorded_ = 0;
  std::uint64_t dropped_ = 0;
  bool closing_ = false;
  std::string writeError_;
  std::thread writer_;
};

// Makes the session record every report it reads: the transport it creates
// (the hook's, or the platform's) is wrapped in one that hands each received
// report to `recorder`, stamped by the session's clock. The recorder must
// outlive the session's worker.
void recordReports(SessionBridgeOptions& options, ReportRecorder& recorder);

}  // namespace pelmora::app
