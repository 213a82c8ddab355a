#pragma once
// The trace file: everything a worker learned from outside (its hooks, its
// resume poll, its random draw and every transport call) in the order it
// asked, so that the same core can be answered from it later. It is
// version 3 of the capture file (see sim/CAPTURE_FORMAT.md): the same first
// 16 header bytes, then the recording system, the size bound, the program
// version and the header's check, then one record per call, in checked
// blocks (trace_blocks.h). Records are small because a session asks several
// things every millisecond: the call and its boolean results share one
// byte, times are differences, numbers are varints. Version 2 differs only
// in having no checks and in keeping time differences zigzag-coded.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/protocol/wire_format.h"
#include "core/transport/error_code_rules.h"
#include "core/transport/hid_device_info.h"

namespace pelmora::trace {

// The same opening as the older report captures, whose readers then refuse a
// trace by its version rather than as a foreign file.
inline constexpr char kTraceMagic[] = "PLMCAP01";
inline constexpr std::size_t kTraceMagicLength = 8;
inline constexpr std::uint32_t kTraceVersion = 3;
inline constexpr std::uint32_t kOldestTraceVersion = 2;
inline constexpr std::size_t kTraceFixedHeaderLength = 22;
inline constexpr std::size_t kTraceHeaderCheckLength = 4;  // CRC-32, version 3 on
inline constexpr std::size_t kTraceMaxVersionText = 64;
// What a file may hold in an enumeration; more is taken for damage.
inline constexpr std::size_t kTraceMaxDevices = 64;
inline constexpr std::size_t kTraceMaxText = 1024;

// The call a record answers; the values are the file's.
enum class TraceCall : std::uint8_t {
  enumerate = 1,
  createTransport = 2,
  now = 3,
  wait = 4,
  random = 5,
  pollResume = 6,
  open = 7,
  readReport = 8,
  sendFeature = 9,
  poll = 10,
  close = 11,
  errorCode = 12,
  isReading = 13,
  isFeaturePending = 14,
  lost = 15,   // the writer fell behind: `value` records are missing here
  limit = 16,  // the size bound was reached; nothing follows
};

const char* callName(TraceCall call);
// "Linux", "Windows" or "macOS".
const char* systemName(HostSystem system);

struct TraceHeader {
  HostSystem system = HostSystem::linuxOs;
  std::uint32_t limitMiB = 0;  // the bound the recording ran under
  std::string programVersion;
};

// One decoded record. Which fields mean something depends on `call`:
// `ok` is the boolean result (open, read, send, poll, close, created,
// resumed, stop for wait, the generator's success for random, isReading,
// isFeaturePending); `received` says a read delivered `report`; `value` is
// the time for now, the milliseconds asked for wait and close, the random
// value, the error code or the count of lost records.
struct TraceRecord {
  TraceCall call = TraceCall::now;
  bool ok = false;
  bool received = false;
  std::uint64_t value = 0;
  Report report{};
  std::u16string path;  // open
  DeviceList devices;   // enumerate
};

std::vector<std::uint8_t> encodeHeader(const TraceHeader& header);

// Encodes records one after another; times are kept as differences from the
// previous `now`, so one encoder writes one file from its start. The
// platform clocks are monotonic (CLOCK_MONOTONIC, steady_clock,
// GetTickCount64) and one worker asks them in turn, so a difference is
// never negative; should a hook's clock step back all the same, the
// difference wraps around in 64 bits and decodes to the very time again.
class TraceEncoder {
 public:
  // Longest record apart from an enumeration or an open.
  static constexpr std::size_t kMaxFixedRecord = 1 + 10 + kReportLength;

  // Appends the record to `out`; reuses its capacity.
  void encode(const TraceRecord& record, std::vector<std::uint8_t>& out);
  // The same for a record without strings, into a fixed buffer; the length.
  std::size_t encodeFixed(const TraceRecord& record, std::array<std::uint8_t, kMaxFixedRecord>& out);

 private:
  std::uint64_t lastNow_ = 0;
};

enum class DecodeStatus { ok, torn, corrupt };

// Decodes records one after another, as the given version of the format
// wrote them.
class TraceDecoder {
 public:
  explicit TraceDecoder(std::span<const std::uint8_t> records, std::uint32_t version = kTraceVersion)
      : bytes_(records), zigzagTimes_(version == kOldestTraceVersion) {}

  // Fills `record` (reusing its strings) and moves on; `torn` when the bytes
  // end inside the record or before it (at the end), `corrupt` (with
  // `error`; position() stays at the record) when they cannot be one.
  DecodeStatus next(TraceRecord& record);
  bool atEnd() const { return position_ == bytes_.size(); }
  std::size_t position() const { return position_; }
  const std::string& error() const { return error_; }

 private:
  bool readVarint(std::uint64_t& value);
  bool readBytes(std::uint8_t* out, std::size_t count);
  bool readText(std::u16string& text);
  bool readNarrow(std::string& text);
  bool readDevices(DeviceList& devices);
  DecodeStatus fail(const std::string& why);

  std::span<const std::uint8_t> bytes_;
  bool zigzagTimes_ = false;
  std::size_t position_ = 0;
  std::uint64_t lastNow_ = 0;
  bool torn_ = false;
  std::string error_;
};

}  // namespace pelmora::trace
