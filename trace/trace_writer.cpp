#include "trace/trace_writer.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <vector>

#include "trace/trace_blocks.h"

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

// The block headers that `queued` bytes may still need on their way to the
// file, with one to spare for the record that ends it at the bound: the
// writer cuts blocks of at most kBatchBytes.
constexpr std::uint64_t blockRoom(std::size_t queued) {
  return kBlockHeaderBytes * (2 + queued / kBatchBytes);
}

std::filesystem::path utf8Path(const std::string& path) {
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

// The system's reason for the last failure, when it gave one.
std::string reason() { return errno != 0 ? std::string(": ") + std::strerror(errno) : std::string(); }

}  // namespace

struct TraceWriter::State {
  State(std::ofstream f, std::uint64_t limit, std::uint64_t headerBytes)
      : file(std::move(f)), limitBytes(limit), accepted(headerBytes), ring(kRingBytes) {}

  void accept(const std::uint8_t* bytes, std::size_t length);
  void push(const std::uint8_t* bytes, std::size_t length);
  bool writeBatch(const std::vector<std::uint8_t>& batch);
  static void writeLoop(std::shared_ptr<State> state);

  std::ofstream file;
  const std::uint64_t limitBytes;  // 0: unbounded
  std::uint64_t accepted;  // bytes the file will hold, header and blocks made so far included (under the lock)

  // Encoding happens on the worker, under the lock, in this order.
  TraceEncoder encoder;
  std::vector<std::uint8_t> scratch;
  std::array<std::uint8_t, TraceEncoder::kMaxFixedRecord> fixed{};

  std::mutex mutex;
  std::condition_variable wake;      // the writer: work is queued, or closing
  std::condition_variable progress;  // finish(): a batch went out, or done
  std::vector<std::uint8_t> ring;
  std::size_t head = 0;   // oldest queued byte
  std::size_t count = 0;  // bytes queued
  std::uint64_t lostPending = 0;  // lost since the last record that went in
  std::uint64_t lost = 0;
  std::uint64_t batches = 0;  // taken from the ring and handled
  bool closing = false;
  bool done = false;  // the writer ended with the ring empty
  bool limitReached = false;
  std::string writeError;
};

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
  std::unique_ptr<TraceWriter> writer(new TraceWriter(
      std::make_shared<State>(std::move(file), std::uint64_t{header.limitMiB} * kBytesPerMiB, bytes.size())));
  writer->writer_ = std::thread(&State::writeLoop, writer->state_);
  return writer;
}

TraceWriter::TraceWriter(std::shared_ptr<State> state) : state_(std::move(state)) {}

TraceWriter::~TraceWriter() { finish(); }

void TraceWriter::finish(std::chrono::milliseconds stallBudget) {
  State& s = *state_;
  std::unique_lock lock(s.mutex);
  s.closing = true;
  s.wake.notify_all();
  if (!writer_.joinable()) return;
  while (!s.done) {
    const std::uint64_t before = s.batches;
    if (!s.progress.wait_for(lock, stallBudget, [&] { return s.done || s.batches != before; })) {
      // The thread holds its own reference to the state; whenever the write
      // returns it drains the ring and closes the file.
      if (s.writeError.empty()) {
        s.writeError = "a write made no progress for " + std::to_string(stallBudget.count()) +
                       " ms at the end; the rest of the recording may be missing";
      }
      writer_.detach();
      return;
    }
  }
  lock.unlock();
  writer_.join();
}

void TraceWriter::State::push(const std::uint8_t* bytes, std::size_t length) {
  const std::size_t tail = (head + count) % ring.size();
  const std::size_t first = std::min(length, ring.size() - tail);
  std::copy_n(bytes, first, ring.begin() + static_cast<std::ptrdiff_t>(tail));
  std::copy_n(bytes + first, length - first, ring.begin());
  count += length;
  accepted += length;
}

void TraceWriter::record(const TraceRecord& record) {
  State& s = *state_;
  bool wake = false;
  {
    std::lock_guard lock(s.mutex);
    if (s.closing || s.limitReached) return;
    if (record.call == TraceCall::enumerate || record.call == TraceCall::open) {
      s.scratch.clear();
      s.encoder.encode(record, s.scratch);
      s.accept(s.scratch.data(), s.scratch.size());
    } else {
      s.accept(s.fixed.data(), s.encoder.encodeFixed(record, s.fixed));
    }
    wake = s.count >= kWakeBytes;
  }
  if (wake) s.wake.notify_one();
}

// Under the lock.
void TraceWriter::State::accept(const std::uint8_t* bytes, std::size_t length) {
  const std::size_t room = ring.size() - count;
  if (limitBytes != 0 &&
      accepted + length + kLostRecordRoom + blockRoom(count + length + kLostRecordRoom) > limitBytes) {
    // Whole records up to the bound, then the one that says so.
    if (room == 0) return;  // the next call tries again
    const auto mark = static_cast<std::uint8_t>(TraceCall::limit);
    push(&mark, 1);
    limitReached = true;
    return;
  }
  if (room < length + kLostRecordRoom) {
    // The record is gone, and with it a time difference: a replay stops at
    // the record that counts the loss, before any later time matters.
    ++lostPending;
    ++lost;
    return;
  }
  if (lostPending != 0) {
    std::array<std::uint8_t, TraceEncoder::kMaxFixedRecord> lostBytes{};
    TraceRecord lostRecord;
    lostRecord.call = TraceCall::lost;
    lostRecord.value = lostPending;
    push(lostBytes.data(), TraceEncoder{}.encodeFixed(lostRecord, lostBytes));
    lostPending = 0;
  }
  push(bytes, length);
}

bool TraceWriter::State::writeBatch(const std::vector<std::uint8_t>& batch) {
  file.write(reinterpret_cast<const char*>(batch.data()), static_cast<std::streamsize>(batch.size()));
  file.flush();
  if (file) return true;
  std::lock_guard lock(mutex);
  if (writeError.empty()) writeError = errno != 0 ? std::strerror(errno) : "the disk refused a write";
  return false;
}

void TraceWriter::State::writeLoop(std::shared_ptr<State> state) {
  State& s = *state;
  std::vector<std::uint8_t> batch;
  batch.reserve(kBlockHeaderBytes + kBatchBytes);
  bool failed = false;
  for (;;) {
    batch.assign(kBlockHeaderBytes, 0);
    {
      std::unique_lock lock(s.mutex);
      s.wake.wait_for(lock, kWritePeriod, [&s] { return s.count >= kWakeBytes || s.closing; });
      if (s.count == 0) {
        if (!s.closing) continue;
        s.done = true;  // everything is written
        s.progress.notify_all();
        return;
      }
      const std::size_t take = std::min(s.count, kBatchBytes);
      const std::size_t first = std::min(take, s.ring.size() - s.head);
      const auto head = s.ring.begin() + static_cast<std::ptrdiff_t>(s.head);
      batch.insert(batch.end(), head, head + static_cast<std::ptrdiff_t>(first));
      batch.insert(batch.end(), s.ring.begin(), s.ring.begin() + static_cast<std::ptrdiff_t>(take - first));
      s.head = (s.head + take) % s.ring.size();
      s.count -= take;
      s.accepted += kBlockHeaderBytes;
    }
    sealBlock(batch);
    // Keep draining after a failure so that record() never fills up for nothing.
    if (!failed) failed = !s.writeBatch(batch);
    std::lock_guard lock(s.mutex);
    ++s.batches;
    s.progress.notify_all();
  }
}

std::uint64_t TraceWriter::lost() const {
  std::lock_guard lock(state_->mutex);
  return state_->lost;
}

bool TraceWriter::limitReached() const {
  std::lock_guard lock(state_->mutex);
  return state_->limitReached;
}

std::string TraceWriter::writeError() const {
  std::lock_guard lock(state_->mutex);
  return state_->writeError;
}

}  // namespace pelmora::trace
