#include "trace/recording_transport.h"

#include <algorithm>

namespace pelmora::trace {

bool RecordingTransport::note(TraceCall call, bool ok, std::uint64_t value) const {
  TraceRecord record;
  record.call = call;
  record.ok = ok;
  record.value = value;
  writer_.record(record);
  return ok;
}

bool RecordingTransport::open(const std::u16string& path) {
  TraceRecord record;
  record.call = TraceCall::open;
  record.ok = inner_->open(path);
  record.path = path;
  writer_.record(record);
  return record.ok;
}

bool RecordingTransport::readReport(std::uint8_t* report, bool& received) {
  TraceRecord record;
  record.call = TraceCall::readReport;
  record.ok = inner_->readReport(report, received);
  record.received = record.ok && received;
  if (record.received) std::copy_n(report, kReportLength, record.report.begin());
  writer_.record(record);
  return record.ok;
}

bool RecordingTransport::sendFeature(const std::uint8_t* report) {
  TraceRecord record;
  record.call = TraceCall::sendFeature;
  std::copy_n(report, kReportLength, record.report.begin());
  record.ok = inner_->sendFeature(report);
  writer_.record(record);
  return record.ok;
}

bool RecordingTransport::poll() { return note(TraceCall::poll, inner_->poll()); }

bool RecordingTransport::close(std::uint32_t timeoutMs) {
  return note(TraceCall::close, inner_->close(timeoutMs), timeoutMs);
}

std::uint32_t RecordingTransport::errorCode() const {
  const std::uint32_t code = inner_->errorCode();
  note(TraceCall::errorCode, false, code);
  return code;
}

bool RecordingTransport::isReading() const { return note(TraceCall::isReading, inner_->isReading()); }

bool RecordingTransport::isFeaturePending() const {
  return note(TraceCall::isFeaturePending, inner_->isFeaturePending());
}

}  // namespace pelmora::trace
