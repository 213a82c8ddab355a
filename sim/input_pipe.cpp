#include "sim/input_pipe.h"

namespace pelmora::sim {

InputPipe::InputPipe(std::size_t deviceCapacity, std::size_t hostCapacity)
    : deviceCapacity_(deviceCapacity), hostCapacity_(hostCapacity) {}

bool InputPipe::queue(const Report& report, bool urgent) {
  if (deviceQueued() >= deviceCapacity_) {
    ++counters_.droppedAtDevice;
    return false;
  }
  (urgent ? urgent_ : normal_).push_back(report);
  ++counters_.queued;
  return true;
}

void InputPipe::tick(bool hostListening) {
  if (!hostListening) return;
  auto& source = urgent_.empty() ? normal_ : urgent_;
  if (source.empty()) return;
  ++counters_.transferred;
  if (host_.size() >= hostCapacity_) {
    ++counters_.droppedAtHost;
  } else {
    host_.push_back(source.front());
  }
  source.pop_front();
}

bool InputPipe::pop(Report& report) {
  if (host_.empty()) return false;
  report = host_.front();
  host_.pop_front();
  ++counters_.delivered;
  return true;
}

void InputPipe::clearAll() {
  urgent_.clear();
  normal_.clear();
  host_.clear();
}

}  // namespace pelmora::sim
