#include "trace/trace_recording.h"

#include <utility>

#include "core/transport/platform.h"
#include "trace/recording_transport.h"

#ifndef PELMORA_PROGRAM_VERSION
#define PELMORA_PROGRAM_VERSION "unknown"
#endif

namespace pelmora::trace {
namespace {

void note(TraceWriter& writer, TraceCall call, bool ok, std::uint64_t value = 0) {
  TraceRecord record;
  record.call = call;
  record.ok = ok;
  record.value = value;
  writer.record(record);
}

}  // namespace

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

ConnectionHooks TraceRecording::wrap(ConnectionHooks hooks) const {
  TraceWriter& writer = writer_;
  std::function<DeviceList()> enumerate = hooks.enumerate ? std::move(hooks.enumerate) : enumerateDevices;
  hooks.enumerate = [&writer, enumerate = std::move(enumerate)] {
    TraceRecord record;
    record.call = TraceCall::enumerate;
    record.devices = enumerate();
    writer.record(record);
    return std::move(record.devices);
  };
  std::function<std::unique_ptr<IHidTransport>()> create =
      hooks.createTransport ? std::move(hooks.createTransport) : createPlatformTransport;
  hooks.createTransport = [&writer, create = std::move(create)] {
    std::unique_ptr<IHidTransport> inner = create();
    note(writer, TraceCall::createTransport, inner != nullptr);
    if (!inner) return inner;  // the worker reports the missing transport itself
    return std::unique_ptr<IHidTransport>(std::make_unique<RecordingTransport>(std::move(inner), writer));
  };
  std::function<std::uint64_t()> now = hooks.now ? std::move(hooks.now) : platformNowMs;
  hooks.now = [&writer, now = std::move(now)] {
    const std::uint64_t t = now();
    note(writer, TraceCall::now, false, t);
    return t;
  };
  if (hooks.wait) hooks.wait = wrapWait(std::move(hooks.wait));
  return hooks;
}

WaitFunction TraceRecording::wrapWait(WaitFunction wait) const {
  return [&writer = writer_, wait = std::move(wait)](std::uint32_t ms) {
    const bool stop = wait(ms);
    note(writer, TraceCall::wait, stop, ms);
    return stop;
  };
}

ResumeCallback TraceRecording::wrapResume(ResumeCallback poll) const {
  return [&writer = writer_, poll = std::move(poll)] {
    const bool resumed = poll && poll();
    note(writer, TraceCall::pollResume, resumed);
    return resumed;
  };
}

RandomSource TraceRecording::wrapRandom(RandomSource random) const {
  if (!random) random = platformRandom32;
  return [&writer = writer_, random = std::move(random)](std::uint32_t& out) {
    const bool ok = random(out);
    note(writer, TraceCall::random, ok, ok ? out : 0);
    return ok;
  };
}

}  // namespace pelmora::trace
