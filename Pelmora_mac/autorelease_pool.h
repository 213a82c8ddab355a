#pragma once
// Since macOS 10.15 the HID manager and device objects are partly
// Objective-C, and IOKit autoreleases objects during their calls. A worker
// thread has no pool of its own, so whatever lands there would stay until
// the thread ends; each scan and each transport operation drains its own.
// Pools nest strictly on their thread, which a scope guarantees.

// The runtime's plain C entry points behind @autoreleasepool (libobjc).
extern "C" {
void* objc_autoreleasePoolPush(void);
void objc_autoreleasePoolPop(void* pool);
}

namespace pelmora {

class AutoreleasePool {
 public:
  AutoreleasePool() : pool_(objc_autoreleasePoolPush()) {}
  ~AutoreleasePool() { objc_autoreleasePoolPop(pool_); }
  AutoreleasePool(const AutoreleasePool&) = delete;
  AutoreleasePool& operator=(const AutoreleasePool&) = delete;

 private:
  void* pool_;
};

}  // namespace pelmora
