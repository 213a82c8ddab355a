#include "trace/trace_recording.h"

#include <utility>

#include "trace/recording_transport.h"

#ifndef PELMORA_PROGRAM_VERSION
#define PELMORA_PROGRAM_VERSION "unknown"
#endif

namespace pelmora::trace {

HostSystem ownSystem() {
#if defined(_WIN32)
  return HostSystem::windowsOs;
#elif defined(__APPLE__)
  return HostSystem::macOs;
#else
  return HostSystem::linuxOs;
#endif
}

TraceHeader ownHeader(std::uint32_t limitMiB) {
  TraceHeader header;
  header.system = ownSystem();
  header.limitMiB = limitMiB;
  header.programVersion = PELMORA_PROGRAM_VERSION;
  return header;
}

void TraceRecording::note(TraceCall call, bool ok, std::uint64_t value) {
  TraceRecord record;
  record.call = call;
  record.ok = ok;
  record.value = value;
  writer_.record(record);
}

void TraceRecording::devicesFound(const DeviceList& devices) {
  TraceRecord record;
  record.call = TraceCall::enumerate;
  record.devices = devices;
  writer_.record(record);
}

std::unique_ptr<IHidTransport> TraceRecording::transportMade(std::unique_ptr<IHidTransport> made) {
  note(TraceCall::createTransport, made != nullptr);
  if (!made) return made;  // the worker reports the missing transport itself
  return std::make_unique<RecordingTransport>(std::move(made), writer_);
}

void TraceRecording::clockRead(std::uint64_t ms) { note(TraceCall::now, false, ms); }

void TraceRecording::waited(std::uint32_t ms, bool stop) { note(TraceCall::wait, stop, ms); }

void TraceRecording::resumePolled(bool resumed) { note(TraceCall::pollResume, resumed); }

void TraceRecording::randomDrawn(bool ok, std::uint32_t value) { note(TraceCall::random, ok, value); }

ProgramRecording::ProgramRecording(const std::string& path) {
  writer_ = TraceWriter::create(path, ownHeader(), failure_);
  if (writer_) recording_.emplace(*writer_);
}

std::string ProgramRecording::takeFailure() {
  if (told_) return {};
  if (failure_.empty() && writer_) failure_ = writer_->writeError();
  if (failure_.empty()) return {};
  told_ = true;
  return std::move(failure_);
}

void ProgramRecording::finish() {
  if (writer_) writer_->finish();
}

}  // namespace pelmora::trace
