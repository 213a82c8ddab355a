#include "bridge_support.h"

#include <thread>

namespace pelmora::test {

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void stopAndWait(SessionBridge& bridge) {
  bridge.stop();
  eventually([&] { return bridge.finished(); }, std::chrono::seconds(30));
}

}  // namespace pelmora::test
