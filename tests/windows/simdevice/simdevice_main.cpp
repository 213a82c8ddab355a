// pelmora_simdevice: plays the simulated synthesizer behind the plugged
// device of one serial (see README.md) until stopped or for a given time.
//
//   pelmora_simdevice SERIAL [--page 0-6] [--seed N] [--debug-lines]
//                     [--feature-delay MS] [--handshake-delay MS] [--seconds N]
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "device_relay.h"

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: pelmora_simdevice SERIAL [--page 0-6] [--seed N] [--debug-lines]\n"
               "                         [--feature-delay MS] [--handshake-delay MS] [--seconds N]\n");
  return 2;
}

bool number(const wchar_t* text, unsigned long max, unsigned long& out) {
  wchar_t* end = nullptr;
  out = std::wcstoul(text, &end, 10);
  return *text && end && *end == 0 && out <= max;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  using namespace pelmora;
  if (argc < 2 || argv[1][0] == L'-') return usage();
  sim::DeviceConfig config;
  unsigned long featureDelayMs = 0, handshakeDelayMs = 0, seconds = 0, value = 0;
  for (int i = 2; i < argc; ++i) {
    const std::wstring option = argv[i];
    const bool hasValue = i + 1 < argc;
    if (option == L"--debug-lines") {
      config.debugLines = true;
    } else if (option == L"--page" && hasValue && number(argv[++i], kModeCount - 1, value)) {
      config.fixedMode = static_cast<int>(value);
    } else if (option == L"--seed" && hasValue && number(argv[++i], 0xFFFFFFFFul, value)) {
      config.seed = value;
    } else if (option == L"--feature-delay" && hasValue && number(argv[++i], 600000, value)) {
      featureDelayMs = value;
    } else if (option == L"--handshake-delay" && hasValue && number(argv[++i], 600000, value)) {
      handshakeDelayMs = value;
    } else if (option == L"--seconds" && hasValue && number(argv[++i], 86400, value)) {
      seconds = value;
    } else {
      return usage();
    }
  }

  try {
    simdevice::DeviceRelay relay(argv[1], config);
    relay.withDevice([&](sim::SimDevice& device) { device.link.featureDelayMs = featureDelayMs; });
    relay.setHandshakeDelay(handshakeDelayMs);
    std::fprintf(stderr, "pelmora_simdevice: serving serial %ls\n", argv[1]);
    const std::uint64_t end = seconds ? simdevice::steadyNowMs() + seconds * 1000ull : 0;
    bool attached = false;
    while (!end || simdevice::steadyNowMs() < end) {
      if (relay.attached() != attached) {
        attached = relay.attached();
        std::fprintf(stderr, "pelmora_simdevice: device %s\n", attached ? "powered" : "unpowered");
      }
      Sleep(50);
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "pelmora_simdevice: %s\n", error.what());
    return 1;
  }
  return 0;
}
