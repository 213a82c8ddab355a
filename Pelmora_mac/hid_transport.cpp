#include "Pelmora_mac/hid_transport.h"

#include <CoreFoundation/CoreFoundation.h>
#include <IOKit/IOKitLib.h>
#include <IOKit/hid/IOHIDDevice.h>
#include <IOKit/hid/IOHIDManager.h>

#include <algorithm>
#include <mutex>
#include <set>
#include <type_traits>

#include "Pelmora_mac/autorelease_pool.h"
#include "Pelmora_mac/hid_discovery.h"
#include "Pelmora_mac/io_return_codes.h"

// What this file relies on, as the frameworks define it.
static_assert(std::is_same_v<IOReturn, int> && std::is_same_v<CFIndex, long> &&
              std::is_same_v<Boolean, unsigned char> && std::is_same_v<CFTimeInterval, double>);
static_assert(kIOHIDOptionsTypeSeizeDevice == 1 && kIOHIDOptionsTypeNone == 0);
static_assert(kIOHIDReportTypeInput == 0 && kIOHIDReportTypeFeature == 2);
static_assert(std::is_same_v<IOHIDCallback, void (*)(void*, IOReturn, void*)>);
static_assert(std::is_same_v<IOHIDReportCallback, void (*)(void*, IOReturn, void*, IOHIDReportType, std::uint32_t,
                                                           std::uint8_t*, CFIndex)>);
// The time-out travels as a CFTimeInterval: seconds.
static_assert(std::is_same_v<decltype(&IOHIDDeviceSetReportWithCallback),
                             IOReturn (*)(IOHIDDeviceRef, IOHIDReportType, CFIndex, const std::uint8_t*, CFIndex,
                                          CFTimeInterval, IOHIDReportCallback, void*)>);

namespace pelmora {

namespace {

// IOKit's default main port. kIOMainPortDefault (macOS 12) and its former
// name kIOMasterPortDefault are both documented synonyms of the null port;
// the null port itself needs no symbol that older systems lack, so the
// program still starts on every system its bundle names.
constexpr mach_port_t kDefaultMainPort = MACH_PORT_NULL;

// One slice of the run loop: at most one source, at most 10 µs.
constexpr CFTimeInterval kRunLoopSliceSeconds = 0.00001;

void serviceRunLoop() {
  AutoreleasePool pool;
  CFRunLoopRunInMode(kCFRunLoopDefaultMode, kRunLoopSliceSeconds, true);
}

// Input reports not yet taken, oldest first, in storage made once.
class ReportQueue {
 public:
  ReportQueue() : slots_(std::make_unique<Report[]>(kReportQueueLimit)) {}
  // False when full; the report is then dropped.
  bool push(const Report& report) {
    if (count_ == kReportQueueLimit) return false;
    slots_[(head_ + count_) % kReportQueueLimit] = report;
    ++count_;
    return true;
  }
  bool pop(std::uint8_t* out) {
    if (count_ == 0) return false;
    std::copy(slots_[head_].begin(), slots_[head_].end(), out);
    head_ = (head_ + 1) % kReportQueueLimit;
    --count_;
    return true;
  }
  void clear() { head_ = count_ = 0; }

 private:
  std::unique_ptr<Report[]> slots_;
  std::size_t head_ = 0;
  std::size_t count_ = 0;
};

// Paths some transport of this process holds open: what makes `open`
// exclusive between the windows of one program.
struct OpenPaths {
  std::mutex mutex;
  std::set<std::u16string> paths;
};

// Never destroyed: a quit calls exit() while a worker may still be inside
// close, and exit() runs the destructors of static objects.
OpenPaths& openPaths() {
  static OpenPaths* const registry = new OpenPaths;
  return *registry;
}

bool claimPath(const std::u16string& path) {
  OpenPaths& registry = openPaths();
  std::lock_guard lock(registry.mutex);
  return registry.paths.insert(path).second;
}

void releasePath(const std::u16string& path) {
  OpenPaths& registry = openPaths();
  std::lock_guard lock(registry.mutex);
  registry.paths.erase(path);
}

IOHIDDeviceRef createDevice(std::uint64_t entryId) {
  // The lookup consumes the matching dictionary.
  const io_service_t service = IOServiceGetMatchingService(kDefaultMainPort, IORegistryEntryIDMatching(entryId));
  if (service == IO_OBJECT_NULL) return nullptr;
  IOHIDDeviceRef device = IOHIDDeviceCreate(kCFAllocatorDefault, service);
  IOObjectRelease(service);
  return device;
}

}  // namespace

// What the callbacks share with the operations; touched only on the thread
// that runs the transport, so it needs no lock.
struct HidTransport::Record {
  IOHIDDeviceRef device = nullptr;
  std::u16string path;
  Report inputBuffer{};    // IOKit writes incoming reports here
  Report featureBuffer{};  // read by IOKit until the completion callback
  ReportQueue reportQueue;
  std::uint32_t error = 0;
  bool featurePending = false;
  bool closing = false;

  // A later failure replaces an earlier code, except that a device known to
  // be gone stays gone: the completion of its aborted transfer must not hide
  // why the session ends.
  void fail(std::uint32_t code) {
    if (error != kNoDeviceCode) error = code;
  }
};

namespace {

using Record = HidTransport::Record;

void onInputReport(void* context, IOReturn result, void*, IOHIDReportType, std::uint32_t reportId,
                   std::uint8_t* report, CFIndex length) {
  Record& record = *static_cast<Record*>(context);
  if (record.closing) return;
  if (result != kIOReturnSuccess) return record.fail(ioReturnCode(result));
  if (reportId != kInputReportId) return record.fail(kBadMessageIdCode);
  // Some stacks hand over the report without its ID byte; queue it whole.
  Report entry;
  constexpr auto kWithoutId = static_cast<CFIndex>(kReportLength - 1);
  constexpr auto kWithId = static_cast<CFIndex>(kReportLength);
  if (report != nullptr && length == kWithoutId) {
    entry[0] = kInputReportId;
    std::copy(report, report + kWithoutId, entry.begin() + 1);
  } else if (report != nullptr && length == kWithId && report[0] == kInputReportId) {
    std::copy(report, report + kWithId, entry.begin());
  } else {
    return record.fail(kBadArgumentCode);
  }
  if (!record.reportQueue.push(entry)) record.fail(kOverrunCode);
}

void onRemoval(void* context, IOReturn, void*) { static_cast<Record*>(context)->fail(kNoDeviceCode); }

void onFeatureComplete(void* context, IOReturn result, void*, IOHIDReportType, std::uint32_t, std::uint8_t*,
                       CFIndex) {
  Record& record = *static_cast<Record*>(context);
  record.featurePending = false;
  if (result != kIOReturnSuccess) record.fail(ioReturnCode(result));
}

}  // namespace

HidTransport::HidTransport() : record_(std::make_unique<Record>()) {}

HidTransport::~HidTransport() {
  // IOKit may still write featureBuffer until the completion callback has
  // run; the transfer's time-out bounds this loop.
  while (!close(0)) serviceRunLoop();
}

bool HidTransport::open(const std::u16string& path) {
  AutoreleasePool pool;
  Record& r = *record_;
  if (r.device != nullptr) return false;
  if (!claimPath(path)) {
    r.error = kExclusiveAccessCode;
    return false;
  }
  r.path = path;
  r.error = 0;
  r.closing = false;
  r.reportQueue.clear();

  IOHIDDeviceRef device = createDevice(registryEntryIdFromPath(path));
  if (device == nullptr) {
    r.error = kNoDeviceCode;
    close(0);
    return false;
  }
  const IOReturn opened = IOHIDDeviceOpen(device, kIOHIDOptionsTypeSeizeDevice);
  if (opened != kIOReturnSuccess) {
    r.error = ioReturnCode(opened);
    CFRelease(device);
    close(0);
    return false;
  }
  r.device = device;
  IOHIDDeviceRegisterInputReportCallback(device, r.inputBuffer.data(), static_cast<CFIndex>(kReportLength),
                                         onInputReport, &r);
  IOHIDDeviceRegisterRemovalCallback(device, onRemoval, &r);
  IOHIDDeviceScheduleWithRunLoop(device, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode);
  return true;
}

bool HidTransport::readReport(std::uint8_t* report, bool& received) {
  serviceRunLoop();
  received = record_->reportQueue.pop(report);
  return record_->error == 0;
}

bool HidTransport::sendFeature(const std::uint8_t* report) {
  AutoreleasePool pool;
  Record& r = *record_;
  if (r.device == nullptr || r.featurePending || r.error != 0) return false;
  std::copy(report, report + kReportLength, r.featureBuffer.begin());
  r.featurePending = true;
  const IOReturn started = IOHIDDeviceSetReportWithCallback(
      r.device, kIOHIDReportTypeFeature, kCommandReportId, r.featureBuffer.data(),
      static_cast<CFIndex>(kReportLength), kFeatureTimeoutSeconds, onFeatureComplete, &r);
  if (started != kIOReturnSuccess) {
    r.featurePending = false;
    r.fail(ioReturnCode(started));
    return false;
  }
  return true;
}

bool HidTransport::poll() {
  serviceRunLoop();
  return record_->error == 0;
}

bool HidTransport::close(std::uint32_t) {
  AutoreleasePool pool;
  Record& r = *record_;
  serviceRunLoop();
  if (r.featurePending) return false;
  r.closing = true;
  if (r.device != nullptr) {
    IOHIDDeviceRegisterInputReportCallback(r.device, r.inputBuffer.data(), static_cast<CFIndex>(kReportLength),
                                           nullptr, &r);
    // IOKit finds the registration to drop by its context.
    IOHIDDeviceRegisterRemovalCallback(r.device, nullptr, &r);
    IOHIDDeviceUnscheduleFromRunLoop(r.device, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode);
    IOHIDDeviceClose(r.device, kIOHIDOptionsTypeNone);
    CFRelease(r.device);
    r.device = nullptr;
  }
  releasePath(r.path);
  r.path.clear();
  r.reportQueue.clear();
  return true;
}

std::uint32_t HidTransport::errorCode() const { return record_->error; }

bool HidTransport::isFeaturePending() const { return record_->featurePending; }

}  // namespace pelmora
