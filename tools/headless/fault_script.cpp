#include "tools/headless/fault_script.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <sstream>

namespace pelmora::headless {
namespace {

[[noreturn]] void bad(const FaultAction& action, const std::string& why) {
  throw std::invalid_argument("fault \"" + action.line + "\": " + why);
}

std::uint64_t number(const FaultAction& action, const std::string& word) {
  std::size_t used = 0;
  std::uint64_t value = 0;
  try {
    value = std::stoull(word, &used, 0);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != word.size()) bad(action, "\"" + word + "\" is not a number");
  return value;
}

const std::string& arg(const FaultAction& action, std::size_t index) {
  if (index >= action.words.size()) bad(action, "missing argument");
  return action.words[index];
}

int countArg(const FaultAction& action, std::size_t index) {
  if (index >= action.words.size()) return 1;
  if (action.words[index] == "always") return sim::kAlways;
  return static_cast<int>(number(action, action.words[index]));
}

Command commandArg(const FaultAction& action, std::size_t index) {
  static const std::map<std::string, Command> names = {{"hello", Command::Hello},
                                                       {"open", Command::OpenSession},
                                                       {"close", Command::CloseSession},
                                                       {"heartbeat", Command::Heartbeat},
                                                       {"state", Command::RequestState}};
  const auto it = names.find(arg(action, index));
  if (it == names.end()) bad(action, "unknown command \"" + arg(action, index) + "\"");
  return it->second;
}

bool onOff(const FaultAction& action, std::size_t index) {
  const std::string& word = arg(action, index);
  if (word != "on" && word != "off") bad(action, "expected on or off");
  return word == "on";
}

sim::AnswerFault answerArg(const FaultAction& action, std::size_t index) {
  static const std::map<std::string, sim::AnswerFault> names = {
      {"wrong-session", sim::AnswerFault::WrongSessionId}, {"wrong-request", sim::AnswerFault::WrongRequestId},
      {"wrong-command", sim::AnswerFault::WrongCommand},   {"duplicate", sim::AnswerFault::Duplicate},
      {"version21", sim::AnswerFault::Version21},          {"silent", sim::AnswerFault::Silent}};
  const auto it = names.find(arg(action, index));
  if (it == names.end()) bad(action, "unknown answer fault \"" + arg(action, index) + "\"");
  return it->second;
}

std::uint32_t codeArg(const FaultAction& action, std::size_t index, const sim::SimErrorCodes& codes) {
  const std::string& word = arg(action, index);
  if (word == "busy") return codes.busy;
  if (word == "denied") return codes.accessDenied;
  if (word == "gone") return codes.gone;
  if (word == "io") return codes.io;
  return static_cast<std::uint32_t>(number(action, word));
}

sim::SimDevice& deviceOf(const FaultAction& action, FaultTarget& target) {
  sim::SimDevice* device = target.bus.device(target.path);
  if (device == nullptr) bad(action, "no simulated device");
  return *device;
}

void fragments(const FaultAction& action, sim::SimDevice& device) {
  const std::string& which = arg(action, 1);
  const double rate = std::stod(arg(action, 2));
  sim::FragmentFaults& f = device.fragmentFaults;
  if (which == "drop") f.dropRate = rate;
  else if (which == "repeat") f.repeatRate = rate;
  else if (which == "reorder") f.reorderRate = rate;
  else if (which == "corrupt") f.corruptRate = rate;
  else bad(action, "expected drop, repeat, reorder or corrupt");
}

using Handler = std::function<void(const FaultAction&, FaultTarget&)>;

const std::map<std::string, Handler>& handlers() {
  static const std::map<std::string, Handler> table = {
      {"unplug", [](const FaultAction&, FaultTarget& t) { t.bus.unplug(t.path); }},
      {"replug", [](const FaultAction&, FaultTarget& t) { t.bus.replug(t.path); }},
      {"resume", [](const FaultAction&, FaultTarget& t) { t.resumePending = true; }},
      {"pause-stream",
       [](const FaultAction& a, FaultTarget& t) { deviceOf(a, t).faults.streamPaused = onOff(a, 1); }},
      {"orphan-frames",
       [](const FaultAction& a, FaultTarget& t) { deviceOf(a, t).faults.orphanFrames = onOff(a, 1); }},
      {"foreign-report",
       [](const FaultAction& a, FaultTarget& t) { deviceOf(a, t).faults.foreignReport.remaining = countArg(a, 1); }},
      {"status",
       [](const FaultAction& a, FaultTarget& t) {
         deviceOf(a, t).faults.answerStatus(commandArg(a, 1), static_cast<std::uint8_t>(number(a, arg(a, 2))),
                                            countArg(a, 3));
       }},
      {"answer",
       [](const FaultAction& a, FaultTarget& t) {
         deviceOf(a, t).faults.corruptAnswer(commandArg(a, 1), answerArg(a, 2), countArg(a, 3));
       }},
      {"silence-after",
       [](const FaultAction& a, FaultTarget& t) { deviceOf(a, t).faults.command(commandArg(a, 1)).silenceAfter = true; }},
      {"unsilence",
       [](const FaultAction& a, FaultTarget& t) {
         sim::DeviceFaults& f = deviceOf(a, t).faults;
         for (auto& c : f.commands) c.silenceAfter = false;
         f.silenced = false;
       }},
      {"open-fail",
       [](const FaultAction& a, FaultTarget& t) {
         sim::LinkFaults& link = deviceOf(a, t).link;
         link.openFailureCode = codeArg(a, 1, t.bus.codes);
         link.openFailures.remaining = countArg(a, 2);
       }},
      {"feature-refuse",
       [](const FaultAction& a, FaultTarget& t) { deviceOf(a, t).link.featureRefusals.remaining = countArg(a, 1); }},
      {"feature-stuck",
       [](const FaultAction& a, FaultTarget& t) { deviceOf(a, t).link.featureStuck = onOff(a, 1); }},
      {"feature-delay",
       [](const FaultAction& a, FaultTarget& t) {
         deviceOf(a, t).link.featureDelayMs = static_cast<std::uint32_t>(number(a, arg(a, 1)));
       }},
      {"poll-fail",
       [](const FaultAction& a, FaultTarget& t) { deviceOf(a, t).link.pollFailures.remaining = countArg(a, 1); }},
      {"read-fail",
       [](const FaultAction& a, FaultTarget& t) {
         sim::LinkFaults& link = deviceOf(a, t).link;
         link.readFailureCode = codeArg(a, 1, t.bus.codes);
         link.readFailures.remaining = countArg(a, 2);
       }},
      {"close-refuse",
       [](const FaultAction& a, FaultTarget& t) { deviceOf(a, t).link.closeRefusals.remaining = countArg(a, 1); }},
      {"fragments", [](const FaultAction& a, FaultTarget& t) { fragments(a, deviceOf(a, t)); }},
      {"mode",
       [](const FaultAction& a, FaultTarget& t) {
         const std::string& word = arg(a, 1);
         deviceOf(a, t).setMode(word == "cycle" ? sim::kCycleModes : static_cast<int>(number(a, word)));
       }},
  };
  return table;
}

}  // namespace

FaultAction parseFaultLine(const std::string& line) {
  FaultAction action;
  action.line = line;
  std::istringstream in(line.substr(0, line.find('#')));
  std::string word;
  if (!(in >> word)) bad(action, "empty");
  action.atMs = number(action, word);
  while (in >> word) action.words.push_back(word);
  if (action.words.empty()) bad(action, "no action");
  if (!handlers().contains(action.words.front())) bad(action, "unknown action \"" + action.words.front() + "\"");
  return action;
}

std::vector<FaultAction> parseFaultScript(const std::string& text) {
  std::vector<FaultAction> actions;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    const std::string content = line.substr(0, line.find('#'));
    if (content.find_first_not_of(" \t\r") == std::string::npos) continue;
    actions.push_back(parseFaultLine(line));
  }
  return actions;
}

void applyFault(const FaultAction& action, FaultTarget& target) {
  handlers().at(action.words.front())(action, target);
}

const char* faultScriptHelp() {
  return "Fault actions (\"<ms> <action> [arguments]\", ms from the start of the run):\n"
         "  unplug | replug | resume                       the device, or a power-resume notice\n"
         "  pause-stream on|off | orphan-frames on|off     FRAMEs stop / never get their STATE\n"
         "  foreign-report [COUNT]                         an input report with another report ID\n"
         "  status CMD STATUS [COUNT]                      answer CMD with STATUS (1..6)\n"
         "  answer CMD wrong-session|wrong-request|wrong-command|duplicate|version21|silent [COUNT]\n"
         "  silence-after CMD | unsilence                  the device goes quiet after CMD\n"
         "  open-fail busy|denied|CODE [COUNT]             opening fails with that code\n"
         "  feature-refuse [COUNT] | feature-stuck on|off | feature-delay MS\n"
         "  poll-fail [COUNT] | read-fail gone|io|CODE [COUNT] | close-refuse COUNT\n"
         "  fragments drop|repeat|reorder|corrupt RATE     per-report fault rate (0..1)\n"
         "  mode N|cycle                                   switch the page\n"
         "CMD is hello, open, close, heartbeat or state; COUNT a number or \"always\".\n";
}

}  // namespace pelmora::headless
