#pragma once
// Everything a worker learns from outside, told as it is learnt, so that a
// session can be written down and replayed later. The worker tells
// it on its own thread, in the order it asks; a recorder must never wait.
#include <cstdint>
#include <memory>

#include "core/transport/hid_device_info.h"
#include "core/transport/hid_transport.h"

namespace pelmora {

class WorkerRecorder {
 public:
  virtual ~WorkerRecorder() = default;

  virtual void devicesFound(const DeviceList& devices) = 0;
  // Hands back the transport to use, which may pass every call on to
  // `made` and note it; `made` is null when none could be made.
  virtual std::unique_ptr<IHidTransport> transportMade(std::unique_ptr<IHidTransport> made) = 0;
  virtual void clockRead(std::uint64_t ms) = 0;
  virtual void waited(std::uint32_t ms, bool stop) = 0;
  virtual void resumePolled(bool resumed) = 0;
  virtual void randomDrawn(bool ok, std::uint32_t value) = 0;
};

}  // namespace pelmora
