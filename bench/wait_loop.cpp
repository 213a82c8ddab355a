// The floor of a session's idle cost: nothing but the 1 ms wait on a
// condition variable that the session loop makes when no report came in,
// repeated for as long as asked (seconds, default 30).
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 30;
  std::mutex mutex;
  std::condition_variable wake;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) {
    std::unique_lock lock(mutex);
    wake.wait_for(lock, std::chrono::milliseconds(1));
  }
  return 0;
}
