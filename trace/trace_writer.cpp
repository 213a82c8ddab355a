#include "trace/trace_writer.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace pelmora::trace {
namespace {

constexpr std::size_t kBatchBytes = std::size_t{64} << 10;
// The writer wakes on its own this often, or sooner once this much waits:
// a wake-up per record would cost the worker a context switch and a write
// on every call.
constexpr auto kWritePeriod = std::chrono::milliseconds(100);
constexpr std::size_t kWakeBytes = kBatchBytes / 2;
constexpr std::uint64_t kBytesPerMiB = std::uint64_t{1} << 20;
// Room kept free in the ring for the record that says records were lost.
constexpr std::size_t kLostRecordRoom = 16;

std::filesystem::path utf8Path(const std::string& path) {
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

// The system's reason for the last failure, when it gave one.
std::string reason() { return errno != 0 ? std::string(": ") + std::strerror(errno) : std::string(); }

}  // namespace

std::unique_ptr<TraceWriter> TraceWriter::create(const std::string& path, const TraceHeader& header,
                                                 std::string& error) {
  errno = 0;
  std::ofstream file(utf8Path(path), std::ios::binary | std::ios::trunc);
  if (!file) {
    error = "cannot create " + path + reason();
    return nullptr;
  }
  const std::vector<std::uint8_t> bytes = encodeHeader(header);
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  file.flush();
  if (!file) {
    error = "cannot write " + path + reason();
    return nullptr;
  }
  std::unique_ptr<TraceWriter> writer(
      new TraceWriter(std::move(file), std::uint64_t{header.limitMiB} * kBytesPerMiB, bytes.size()));
  writer->writer_ = std::thread(&TraceWriter::writeLoop, writer.get());
  return writer;
}

TraceWriter::TraceWriter(std::ofstream file, std::uint64_t limitBytes, std::uint64_t headerBytes)
    : file_(std::move(file)), limitBytes_(limitBytes), accepted_(headerBytes), ring_(kRingBytes) {}

TraceWriter::~TraceWriter() { finish(); }

void TraceWriter::finish() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  wake_.notify_all();
  if (writer_.joinable()) writer_.join();
}

void TraceWriter::push(const std::uint8_t* bytes, std::size_t length) {
  const std::size_t tail = (head_ + count_) % ring_.size();
  const std::size_t first = std::min(length, ring_.size() - tail);
  std::copy_n(bytes, first, ring_.begin() + static_cast<std::ptrdiff_t>(tail));
  std::copy_n(bytes + first, length - first, ring_.begin());
  count_ += length;
  accepted_ += length;
}

void TraceWriter::record(const TraceRecord& record) {
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    if (closing_ || limitReached_) return;
    if (record.call == TraceCall::enumerate || record.call == TraceCall::open) {
      scratch_.clear();
      encoder_.encode(record, scratch_);
      accept(scratch_.data(), scratch_.size());
    } else {
      accept(fixed_.data(), encoder_.encodeFixed(record, fixed_));
    }
    wake = count_ >= kWakeBytes;
  }
  if (wake) wake_.notify_one();
}

// Under the lock.
void TraceWriter::accept(const std::uint8_t* bytes, std::size_t length) {
  const std::size_t room = ring_.size() - count_;
  if (limitBytes_ != 0 && accepted_ + length + kLostRecordRoom > limitBytes_) {
    // Whole records up to the bound, then the one that says so.
    if (room == 0) return;  // the next call tries again
    const auto mark = static_cast<std::uint8_t>(TraceCall::limit);
    push(&mark, 1);
    limitReached_ = true;
    return;
  }
  if (room < length + kLostRecordRoom) {
    // The record is gone, and with it a time difference: a replay stops at
    // the record that counts the loss, before any later time matters.
    ++lostPending_;
    ++lost_;
    return;
  }
  if (lostPending_ != 0) {
    std::array<std::uint8_t, TraceEncoder::kMaxFixedRecord> lostBytes{};
    TraceRecord lostRecord;
    lostRecord.call = TraceCall::lost;
    lostRecord.value = lostPending_;
    push(lostBytes.data(), TraceEncoder{}.encodeFixed(lostRecord, lostBytes));
    lostPending_ = 0;
  }
  push(bytes, length);
}

bool TraceWriter::writeBatch(const std::vector<std::uint8_t>& batch) {
  file_.write(reinterpret_cast<const char*>(batch.data()), static_cast<std::streamsize>(batch.size()));
  file_.flush();
  if (file_) return true;
  std::lock_guard lock(mutex_);
  if (writeError_.empty()) writeError_ = errno != 0 ? std::strerror(errno) : "the disk refused a write";
  return false;
}

void TraceWriter::writeLoop() {
  std::vector<std::uint8_t> batch;
  batch.reserve(kBatchBytes);
  bool failed = false;
  for (;;) {
    batch.clear();
    {
      std::unique_lock lock(mutex_);
      wake_.wait_for(lock, kWritePeriod, [this] { return count_ >= kWakeBytes || closing_; });
      if (count_ == 0) {
        if (closing_) return;  // everything is written
        continue;
      }
      const std::size_t take = std::min(count_, kBatchBytes);
      const std::size_t first = std::min(take, ring_.size() - head_);
      const auto head = ring_.begin() + static_cast<std::ptrdiff_t>(head_);
      batch.insert(batch.end(), head, head + static_cast<std::ptrdiff_t>(first));
      batch.insert(batch.end(), ring_.begin(), ring_.begin() + static_cast<std::ptrdiff_t>(take - first));
      head_ = (head_ + take) % ring_.size();
      count_ -= take;
    }
    if (failed) continue;  // keep draining so that record() never fills up for nothing
    failed = !writeBatch(batch);
  }
}

std::uint64_t TraceWriter::lost() const {
  std::lock_guard lock(mutex_);
  return lost_;
}

bool TraceWriter::limitReached() const {
  std::lock_guard lock(mutex_);
  return limitReached_;
}

std::string TraceWriter::writeError() const {
  std::lock_guard lock(mutex_);
  return writeError_;
}

}  // namespace pelmora::trace
