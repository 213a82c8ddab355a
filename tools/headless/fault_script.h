#pragma once
// A fault script for the simulated synthesizer: one timed action per line,
// "<ms> <action> [arguments]", times counted from the start of the run;
// '#' starts a comment. The actions are listed by faultScriptHelp().
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "sim/sim_bus.h"

namespace pelmora::headless {

struct FaultAction {
  std::uint64_t atMs = 0;
  std::vector<std::string> words;  // action name first
  std::string line;                // as written, for messages
};

// Throws std::invalid_argument naming the line when it cannot be read or
// names an unknown action.
FaultAction parseFaultLine(const std::string& line);
std::vector<FaultAction> parseFaultScript(const std::string& text);

// What an action may touch besides the device: the power-resume notice.
struct FaultTarget {
  sim::SimBus& bus;
  std::u16string path;
  bool& resumePending;
};

// Applies one action; throws std::invalid_argument on bad arguments.
void applyFault(const FaultAction& action, FaultTarget& target);

const char* faultScriptHelp();

}  // namespace pelmora::headless
