// `--record` and `--replay`: a recording that fails says so; a capture file
// that is cut short, foreign or corrupt is refused or trimmed, never trusted.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "trace/trace_reader.h"
#include "trace/trace_recording.h"

namespace pelmora::app {
namespace {

TEST(CaptureReplay, ACaptureIsTrimmedOrRefusedNeverTrusted) {
  sim::Capture capture(3);
  for (std::size_t i = 0; i < capture.size(); ++i) capture[i].timeMs = 1000 + i;
  const std::vector<std::uint8_t> good = sim::serializeCapture(capture);
  auto with = [&](auto change) {
    std::vector<std::uint8_t> bytes = good;
    change(bytes);
    return trace::readRecording(bytes);
  };
  const auto torn = with([](auto& b) { b.resize(b.size() - 30); });
  ASSERT_EQ(torn.kind, trace::RecordingKind::capture);
  EXPECT_EQ(torn.capture.size(), 2u);
  EXPECT_EQ(torn.tornBytes, sim::kCaptureRecordLength - 30);

  const struct {
    const char* what;
    std::function<void(std::vector<std::uint8_t>&)> change;
    const char* error;
  } refused[] = {
      {"empty file", [](auto& b) { b.clear(); }, "not a trace or capture file (too short for its header); choose the file that --record wrote"},
      {"header only", [](auto& b) { b.resize(sim::kCaptureHeaderLength); }, "the capture holds no reports; record it again"},
      {"header and a torn record", [](auto& b) { b.resize(sim::kCaptureHeaderLength + 5); },
       "the capture holds no reports; record it again"},
      {"foreign magic", [](auto& b) { b[0] = 'X'; }, "not a trace or capture file; choose the file that --record wrote"},
      {"other report length", [](auto& b) { b[12] = 65; }, "a capture of another report length; replay it with the program that recorded it"},
      {"time going back", [](auto& b) { b[sim::kCaptureHeaderLength + sim::kCaptureRecordLength] = 0; },
       "damaged capture: report 2 is older than the one before it; ask for the file again"},
  };
  for (const auto& c : refused) {
    const auto result = with(c.change);
    EXPECT_EQ(result.kind, trace::RecordingKind::refused) << c.what;
    EXPECT_EQ(result.error, c.error) << c.what;
  }
  EXPECT_EQ(trace::readRecordingFile("/nonexistent/x.cap").error,
            "cannot open /nonexistent/x.cap: No such file or directory");
}

// The file that cannot be made is refused at start; a write that fails
// later is told too. Either once, as a window shows it.
TEST(CaptureReplay, ARecordingThatFailsSaysSoOnce) {
  trace::ProgramRecording unwritable("/nonexistent/x.cap");
  EXPECT_EQ(unwritable.recorder(), nullptr);
  EXPECT_EQ(unwritable.takeFailure(), "cannot create /nonexistent/x.cap: No such file or directory");
  EXPECT_EQ(unwritable.takeFailure(), "");
  if (std::filesystem::exists("/dev/full")) {
    EXPECT_EQ(trace::ProgramRecording("/dev/full").takeFailure(), "cannot write /dev/full: No space left on device");
  }

  // Room for the header and little more.
  const std::string path =
      (std::filesystem::temp_directory_path() / ("full" + std::to_string(::getpid()) + ".trace")).string();
  ::signal(SIGXFSZ, SIG_IGN);
  rlimit old{};
  ::getrlimit(RLIMIT_FSIZE, &old);
  const rlimit small{4096, old.rlim_max};
  ::setrlimit(RLIMIT_FSIZE, &small);
  trace::ProgramRecording full(path);
  const bool recording = full.recorder() != nullptr;
  const std::string early = full.takeFailure();
  for (std::uint64_t t = 0; recording && t < 10000; ++t) full.recorder()->clockRead(t * 1000);
  full.finish();
  ::setrlimit(RLIMIT_FSIZE, &old);
  std::filesystem::remove(path);
  ASSERT_TRUE(recording);
  EXPECT_EQ(early, "") << "nothing went wrong before the file was full";
  EXPECT_EQ(full.takeFailure(), "File too large");
  EXPECT_EQ(full.takeFailure(), "");
}

// A target that takes nothing more (a pipe nobody reads, a hung share) holds
// up the writer thread, never the end of the program.
TEST(CaptureReplay, AStalledRecordingLetsTheProgramEnd) {
  const std::string path =
      (std::filesystem::temp_directory_path() / ("stalled" + std::to_string(::getpid()) + ".trace")).string();
  ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
  const int reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  std::string error;
  auto writer = trace::TraceWriter::create(path, trace::ownHeader(), error);
  ASSERT_TRUE(writer) << error;
  trace::TraceRecord record;
  record.call = trace::TraceCall::sendFeature;
  constexpr std::size_t kRecords = 20000;  // far more than the pipe holds
  for (std::size_t i = 0; i < kRecords; ++i) writer->record(record);
  const auto start = std::chrono::steady_clock::now();
  writer->finish(std::chrono::milliseconds(300));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(writer->writeError(),
            "a write made no progress for 300 ms at the end; the rest of the recording may be missing");
  writer.reset();
  // Read at last, the pipe gets the rest, then its end as the thread lets go.
  ::fcntl(reader, F_SETFL, 0);
  std::vector<std::uint8_t> received;
  std::vector<std::uint8_t> chunk(1 << 16);
  for (ssize_t n; (n = ::read(reader, chunk.data(), chunk.size())) > 0;) {
    received.insert(received.end(), chunk.begin(), chunk.begin() + n);
  }
  const trace::Recording read = trace::readRecording(received);
  EXPECT_EQ(read.recordCount, kRecords) << read.error;
  EXPECT_EQ(read.tornBytes, 0u);
  ::close(reader);
  std::filesystem::remove(path);
}

// The file stops at its bound, blocks and all, with the record that says so.
TEST(CaptureReplay, ARecordingStopsAtItsSizeBound) {
  const std::string path = (std::filesystem::temp_directory_path() / ("bound" + std::to_string(::getpid()))).string();
  std::string error;
  auto writer = trace::TraceWriter::create(path, trace::ownHeader(1), error);
  ASSERT_TRUE(writer) << error;
  trace::TraceRecord record;
  record.call = trace::TraceCall::sendFeature;
  while (!writer->limitReached()) writer->record(record);
  writer->finish();
  EXPECT_LE(std::filesystem::file_size(path), std::uintmax_t{1} << 20);
  const trace::Recording read = trace::readRecordingFile(path);
  std::filesystem::remove(path);
  ASSERT_FALSE(read.bytes.empty()) << read.error;
  EXPECT_EQ(read.bytes.back(), static_cast<std::uint8_t>(trace::TraceCall::limit));
}

}  // namespace
}  // namespace pelmora::app
