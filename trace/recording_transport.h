#pragma once
// A transport that hands every call to the real one and writes the call and
// its answer to a trace, in the order the worker makes them.
#include <memory>

#include "core/transport/hid_transport.h"
#include "trace/trace_writer.h"

namespace pelmora::trace {

class RecordingTransport final : public IHidTransport {
 public:
  RecordingTransport(std::unique_ptr<IHidTransport> inner, TraceWriter& writer)
      : inner_(std::move(inner)), writer_(writer) {}

  bool open(const std::u16string& path) override;
  bool readReport(std::uint8_t* report, bool& received) override;
  bool sendFeature(const std::uint8_t* report) override;
  bool poll() override;
  bool close(std::uint32_t timeoutMs) override;
  std::uint32_t errorCode() const override;
  // Not recorded: the replay answers from the trace's header.
  HostSystem codeSystem() const override { return inner_->codeSystem(); }
  bool isReading() const override;
  bool isFeaturePending() const override;
  // Not written: how long a wait lasted is no part of a trace.
  ReportSignal reportSignal() override { return inner_->reportSignal(); }

 private:
  bool note(TraceCall call, bool ok, std::uint64_t value = 0) const;

  std::unique_ptr<IHidTransport> inner_;
  TraceWriter& writer_;
};

}  // namespace pelmora::trace
