#include "sim_env.h"

namespace pelmora::testing {

SimEnv::SimEnv(const sim::DeviceConfig& config, const std::u16string& serial)
    : info{u"/sim/" + serial, serial, ""} {
  device = &bus.addDevice(info.path, info.serial, config);
  harness = std::make_unique<WorkerHarness>(bus.hooks(clock));
  start = clock.now();
}

void SimEnv::runSession() { harness->worker().runSession(info, info.serial); }

std::string SimEnv::withCode(const std::string& text, std::uint32_t code) {
  std::string full = text + "\nError " + std::to_string(code);
  harness->addKnownText(full);
  return full;
}

}  // namespace pelmora::testing
