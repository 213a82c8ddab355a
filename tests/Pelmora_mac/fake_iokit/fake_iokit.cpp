// The simulated IOKit and Core Foundation. Every object handed out is
// registered by address, so a call with a freed or foreign reference is
// reported instead of followed; reference counts, io_object_t handles and
// the thread each device is scheduled on are checked at every call.
#include "fake_iokit_control.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <unordered_map>
#include <utility>

#include <IOKit/IOKitLib.h>

namespace {

enum ObjectType : CFTypeID {
  kStringType = 7,
  kNumberType = 22,
  kDictionaryType = 18,
  kSetType = 17,
  kRunLoopType = 43,
  kRunLoopSourceType = 46,
  kManagerType = 100,
  kDeviceType = 101,
};

const char* typeName(CFTypeID type) {
  switch (type) {
    case kStringType: return "CFString";
    case kNumberType: return "CFNumber";
    case kDictionaryType: return "CFDictionary";
    case kSetType: return "CFSet";
    case kRunLoopType: return "CFRunLoop";
    case kRunLoopSourceType: return "CFRunLoopSource";
    case kManagerType: return "IOHIDManager";
    case kDeviceType: return "IOHIDDevice";
    default: return "unknown";
  }
}

}  // namespace

struct FakeObject {
  explicit FakeObject(CFTypeID t) : type(t) {}
  virtual ~FakeObject() = default;
  CFTypeID type;
  int refs = 1;
  bool immortal = false;       // constant strings, run loops
  bool registryOwned = false;  // property values: the caller gets them under the Get rule
};

struct __CFString : FakeObject {
  __CFString() : FakeObject(kStringType) {}
  std::u16string text;
};
struct __CFNumber : FakeObject {
  __CFNumber() : FakeObject(kNumberType) {}
  std::int64_t value = 0;
};
struct __CFDictionary : FakeObject {
  __CFDictionary() : FakeObject(kDictionaryType) {}
  std::vector<std::pair<const void*, const void*>> items;
  bool retains = false;
};
struct __CFSet : FakeObject {
  __CFSet() : FakeObject(kSetType) {}
  std::vector<const void*> values;
};
struct __CFRunLoop : FakeObject {
  __CFRunLoop() : FakeObject(kRunLoopType) {}
  std::thread::id thread;
  bool stopped = false;  // CFRunLoopStop: ends the current run, or the next
};
// A version 0 source: fires in a run of a loop it was added to, once signalled.
struct __CFRunLoopSource : FakeObject {
  __CFRunLoopSource() : FakeObject(kRunLoopSourceType) {}
  CFRunLoopSourceContext context{};
  std::vector<std::pair<CFRunLoopRef, std::u16string>> schedules;  // each holds a reference
  bool signalled = false;
};

namespace {

struct Input {
  IOReturn result;
  std::uint32_t reportId;
  std::vector<std::uint8_t> bytes;
};

struct Entry {
  std::uint64_t id = 0;
  std::map<std::u16string, const void*> properties;
  bool plugged = true;
  bool heldElsewhere = false;
  bool idReadFails = false;
  bool reportIdInBuffer = true;
  __IOHIDDevice* seizedBy = nullptr;
  int sharedOpens = 0;
  std::deque<Input> inputs;
  fake_iokit::TransferControl transfers;
  fake_iokit::Backend backend;
  std::vector<fake_iokit::SetReportCall> calls;
};

struct Transfer {
  bool active = false;
  IOHIDReportType type = kIOHIDReportTypeFeature;
  CFIndex reportId = 0;
  const std::uint8_t* report = nullptr;
  CFIndex length = 0;
  std::vector<std::uint8_t> copy;
  double deadline = 0;
  double completeAt = 0;
  IOReturn result = kIOReturnSuccess;
  IOHIDReportCallback callback = nullptr;
  void* context = nullptr;
};

}  // namespace

struct __IOHIDDevice : FakeObject {
  __IOHIDDevice() : FakeObject(kDeviceType) {}
  std::shared_ptr<Entry> entry;
  io_service_t service = IO_OBJECT_NULL;
  bool open = false;
  bool seized = false;
  CFRunLoopRef loop = nullptr;
  std::u16string mode;
  std::uint8_t* inputBuffer = nullptr;
  CFIndex inputLength = 0;
  IOHIDReportCallback inputCallback = nullptr;
  void* inputContext = nullptr;
  // IOKit keeps one registration per context.
  std::vector<std::pair<IOHIDCallback, void*>> removals;
  bool removalDelivered = false;
  Transfer transfer;
};

struct __IOHIDManager : FakeObject {
  __IOHIDManager() : FakeObject(kManagerType) {}
  CFDictionaryRef matching = nullptr;
  std::vector<__IOHIDDevice*> devices;
};

namespace {

struct Handle {
  std::shared_ptr<Entry> entry;
  bool internal = false;  // a device reference's own service, released with it
};

double steadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct State {
  std::mutex mutex;
  std::unordered_map<const void*, FakeObject*> objects;
  std::vector<__IOHIDDevice*> devices;  // live, in creation order
  std::map<std::string, __CFString*> constants;
  std::map<std::thread::id, __CFRunLoop*> loops;
  std::vector<__CFRunLoopSource*> sources;  // live
  // Told of whatever may end a run-loop wait: input, removal, a signalled
  // source, a wake-up, a stop, the manual clock.
  std::condition_variable changed;
  std::vector<std::shared_ptr<Entry>> entries;
  std::map<io_object_t, Handle> handles;
  io_object_t nextHandle = 0x1003;
  std::uint64_t nextEntryId = 0x100000a31;
  std::vector<std::string> violations;
  bool managerCreateFails = false;
  std::function<double()> clock = steadySeconds;
  double manualNow = 1000.0;
  // Each thread's autorelease pools, innermost last.
  std::map<std::thread::id, std::vector<std::uintptr_t>> pools;
  std::uintptr_t lastPool = 0;

  ~State() {
    for (auto& [ref, object] : objects) delete object;
  }
};

State& state() {
  static State s;
  return s;
}

using Lock = std::unique_lock<std::mutex>;

void violation(State& s, std::string what) { s.violations.push_back(std::move(what)); }

template <typename T>
T* adopt(State& s, T* object) {
  s.objects[static_cast<const void*>(object)] = object;
  return object;
}

FakeObject* find(State& s, const void* ref) {
  auto it = s.objects.find(ref);
  return it == s.objects.end() ? nullptr : it->second;
}

template <typename T>
T* live(State& s, const void* ref, CFTypeID type, const char* call) {
  FakeObject* object = find(s, ref);
  if (object == nullptr || object->type != type) {
    violation(s, std::string(call) + ": not a live " + typeName(type));
    return nullptr;
  }
  return static_cast<T*>(object);
}

void releaseLocked(State& s, const void* ref, const char* call);

void destroy(State& s, FakeObject* object) {
  switch (object->type) {
    case kDictionaryType: {
      auto* dict = static_cast<__CFDictionary*>(object);
      if (dict->retains) {
        for (auto& [key, value] : dict->items) {
          releaseLocked(s, key, "dictionary release");
          releaseLocked(s, value, "dictionary release");
        }
      }
      break;
    }
    case kSetType:
      for (const void* value : static_cast<__CFSet*>(object)->values) releaseLocked(s, value, "set release");
      break;
    case kManagerType: {
      auto* manager = static_cast<__IOHIDManager*>(object);
      if (manager->matching != nullptr) releaseLocked(s, manager->matching, "manager release");
      for (__IOHIDDevice* device : manager->devices) releaseLocked(s, device, "manager release");
      break;
    }
    case kDeviceType: {
      auto* device = static_cast<__IOHIDDevice*>(object);
      if (device->open) violation(s, "IOHIDDevice freed while open");
      if (device->loop != nullptr) violation(s, "IOHIDDevice freed while scheduled on a run loop");
      if (device->transfer.active) violation(s, "IOHIDDevice freed with a transfer in flight");
      if (device->entry->seizedBy == device) device->entry->seizedBy = nullptr;
      s.handles.erase(device->service);
      std::erase(s.devices, device);
      break;
    }
    case kRunLoopSourceType: std::erase(s.sources, static_cast<__CFRunLoopSource*>(object)); break;
    default: break;
  }
  s.objects.erase(static_cast<const void*>(object));
  delete object;
}

void releaseLocked(State& s, const void* ref, const char* call) {
  if (ref == nullptr) {
    violation(s, std::string(call) + ": CFRelease(NULL)");
    return;
  }
  FakeObject* object = find(s, ref);
  if (object == nullptr) {
    violation(s, std::string(call) + ": over-release (object already freed or never created)");
    return;
  }
  if (object->immortal) return;
  if (object->registryOwned && object->refs == 1) {
    violation(s, std::string(call) + ": released a " + typeName(object->type) + " obtained under the Get rule");
    return;
  }
  if (--object->refs == 0) destroy(s, object);
}

void retainLocked(State& s, const void* ref) {
  if (FakeObject* object = find(s, ref)) ++object->refs;
}

__CFString* constantString(State& s, const std::string& text) {
  auto it = s.constants.find(text);
  if (it != s.constants.end()) return it->second;
  auto* str = adopt(s, new __CFString);
  str->immortal = true;
  str->text.assign(text.begin(), text.end());
  s.constants[text] = str;
  return str;
}

__CFNumber* makeNumber(State& s, std::int64_t value) {
  auto* number = adopt(s, new __CFNumber);
  number->value = value;
  return number;
}

std::u16string textOf(State& s, CFStringRef ref, const char* call) {
  auto* str = live<__CFString>(s, ref, kStringType, call);
  return str == nullptr ? std::u16string() : str->text;
}

__CFRunLoop* currentLoop(State& s) {
  const auto self = std::this_thread::get_id();
  auto it = s.loops.find(self);
  if (it != s.loops.end()) return it->second;
  auto* loop = adopt(s, new __CFRunLoop);
  loop->immortal = true;
  loop->thread = self;
  s.loops[self] = loop;
  return loop;
}

// The HID manager and device autorelease objects: a call outside any pool
// of its thread would leave them there until the thread ends.
void requirePool(State& s, const char* call) {
  if (s.pools[std::this_thread::get_id()].empty()) violation(s, std::string(call) + ": no autorelease pool");
}

// Calls on a scheduled device belong on the thread whose run loop serves it.
__IOHIDDevice* device(State& s, IOHIDDeviceRef ref, const char* call) {
  requirePool(s, call);
  auto* dev = live<__IOHIDDevice>(s, ref, kDeviceType, call);
  if (dev != nullptr && dev->loop != nullptr &&
      static_cast<__CFRunLoop*>(dev->loop)->thread != std::this_thread::get_id()) {
    violation(s, std::string(call) + ": called on another thread than the device's run loop");
  }
  return dev;
}

std::shared_ptr<Entry> entryById(State& s, std::uint64_t id) {
  for (auto& entry : s.entries) {
    if (entry->id == id) return entry;
  }
  return nullptr;
}

io_object_t newHandle(State& s, std::shared_ptr<Entry> entry, bool internal) {
  const io_object_t handle = s.nextHandle;
  s.nextHandle += 4;
  s.handles[handle] = Handle{std::move(entry), internal};
  return handle;
}

__IOHIDDevice* makeDevice(State& s, std::shared_ptr<Entry> entry) {
  auto* dev = adopt(s, new __IOHIDDevice);
  dev->service = newHandle(s, entry, true);
  dev->entry = std::move(entry);
  s.devices.push_back(dev);
  return dev;
}

bool matches(State& s, const Entry& entry, const __CFDictionary* matching) {
  for (auto& [key, value] : matching->items) {
    auto* wanted = static_cast<__CFNumber*>(find(s, value));
    if (wanted == nullptr || wanted->type != kNumberType) {
      violation(s, "IOHIDManagerSetDeviceMatching: a matching value is not a CFNumber");
      return false;
    }
    auto it = entry.properties.find(textOf(s, static_cast<CFStringRef>(key), "matching key"));
    if (it == entry.properties.end()) return false;
    auto* have = static_cast<__CFNumber*>(find(s, it->second));
    if (have->type != kNumberType || have->value != wanted->value) return false;
  }
  return true;
}

// One thing a run-loop slice does: a callback, and what the backend sees.
struct Event {
  std::function<void()> deliver;
  explicit operator bool() const { return static_cast<bool>(deliver); }
};

Event removalEvent(__IOHIDDevice* dev) {
  dev->removalDelivered = true;
  return Event{[dev, removals = dev->removals] {
    for (auto [callback, context] : removals) callback(context, kIOReturnSuccess, dev);
  }};
}

Event transferEvent(State& s, __IOHIDDevice* dev, double now) {
  Transfer& t = dev->transfer;
  IOReturn result;
  bool reachesDevice = false;
  if (!dev->entry->plugged) {
    if (!dev->removals.empty() && !dev->removalDelivered) return {};
    result = kIOReturnAborted;
  } else if (now >= t.completeAt && t.completeAt <= t.deadline) {
    result = t.result;
    reachesDevice = result == kIOReturnSuccess;
  } else if (now >= t.deadline) {
    result = kIOReturnTimeout;
  } else {
    return {};
  }
  if (std::memcmp(t.report, t.copy.data(), t.copy.size()) != 0) {
    violation(s, "IOHIDDeviceSetReportWithCallback: the report buffer changed while the transfer was in flight");
  }
  t.active = false;
  std::function<void(const std::uint8_t*, std::size_t)> backend;
  if (reachesDevice) backend = dev->entry->backend.featureReceived;
  auto sent = t.copy;
  return Event{[=, callback = t.callback, context = t.context, type = t.type, id = t.reportId,
                report = t.report, length = t.length] {
    if (backend) backend(sent.data(), sent.size());
    if (callback != nullptr) {
      callback(context, result, dev, type, static_cast<std::uint32_t>(id), const_cast<std::uint8_t*>(report), length);
    }
  }};
}

Event inputEvent(State& s, __IOHIDDevice* dev) {
  Entry& entry = *dev->entry;
  while (!entry.inputs.empty()) {
    Input input = std::move(entry.inputs.front());
    entry.inputs.pop_front();
    if (dev->inputCallback == nullptr) continue;  // nobody listens: the report is lost
    const CFIndex length = static_cast<CFIndex>(input.bytes.size());
    if (length > dev->inputLength) {
      violation(s, "input report longer than the buffer registered for it");
      continue;
    }
    std::copy(input.bytes.begin(), input.bytes.end(), dev->inputBuffer);
    IOHIDReportCallback callback = dev->inputCallback;
    void* context = dev->inputContext;
    std::uint8_t* buffer = dev->inputBuffer;
    return Event{[=] { callback(context, input.result, dev, kIOHIDReportTypeInput, input.reportId, buffer, length); }};
  }
  return {};
}

bool scheduledOn(const __CFRunLoopSource& source, CFRunLoopRef loop, const std::u16string& mode) {
  return std::find(source.schedules.begin(), source.schedules.end(), std::pair{loop, mode}) != source.schedules.end();
}

Event sourceEvent(State& s, CFRunLoopRef loop, const std::u16string& mode) {
  for (__CFRunLoopSource* source : s.sources) {
    if (!source->signalled || !scheduledOn(*source, loop, mode)) continue;
    source->signalled = false;
    return Event{[perform = source->context.perform, info = source->context.info] { perform(info); }};
  }
  return {};
}

Event nextEvent(State& s, CFRunLoopRef loop, const std::u16string& mode) {
  const double now = s.clock();
  for (__IOHIDDevice* dev : s.devices) {
    if (dev->loop != loop || dev->mode != mode) continue;
    if (!dev->entry->plugged && !dev->removalDelivered && !dev->removals.empty()) return removalEvent(dev);
    if (dev->transfer.active) {
      if (Event e = transferEvent(s, dev, now)) return e;
    }
    if (dev->open && dev->entry->plugged) {
      if (Event e = inputEvent(s, dev)) return e;
    }
  }
  return sourceEvent(s, loop, mode);
}

bool hasSources(State& s, CFRunLoopRef loop, const std::u16string& mode) {
  return std::any_of(s.devices.begin(), s.devices.end(),
                     [&](const __IOHIDDevice* dev) { return dev->loop == loop && dev->mode == mode; }) ||
         std::any_of(s.sources.begin(), s.sources.end(),
                     [&](const __CFRunLoopSource* source) { return scheduledOn(*source, loop, mode); });
}

std::vector<std::function<void()>> servicesOf(State& s, CFRunLoopRef loop, const std::u16string& mode) {
  std::vector<std::function<void()>> services;
  std::vector<const Entry*> served;
  for (__IOHIDDevice* dev : s.devices) {
    if (dev->loop != loop || dev->mode != mode || !dev->entry->backend.service) continue;
    if (std::find(served.begin(), served.end(), dev->entry.get()) != served.end()) continue;
    served.push_back(dev->entry.get());
    services.push_back(dev->entry->backend.service);
  }
  return services;
}

}  // namespace

extern "C" {

const CFAllocatorRef kCFAllocatorDefault = nullptr;
const mach_port_t kIOMainPortDefault = MACH_PORT_NULL;
const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks = {0, nullptr, nullptr, nullptr, nullptr, nullptr};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks = {0, nullptr, nullptr, nullptr, nullptr};
const CFRunLoopMode kCFRunLoopDefaultMode = [] {
  State& s = state();
  Lock lock(s.mutex);
  return static_cast<CFStringRef>(constantString(s, "kCFRunLoopDefaultMode"));
}();

CFTypeID CFGetTypeID(CFTypeRef cf) {
  State& s = state();
  Lock lock(s.mutex);
  FakeObject* object = find(s, cf);
  if (object == nullptr) {
    violation(s, "CFGetTypeID: not a live object");
    return 0;
  }
  return object->type;
}

CFTypeRef CFRetain(CFTypeRef cf) {
  State& s = state();
  Lock lock(s.mutex);
  if (find(s, cf) == nullptr) violation(s, "CFRetain: not a live object");
  retainLocked(s, cf);
  return cf;
}

void CFRelease(CFTypeRef cf) {
  State& s = state();
  Lock lock(s.mutex);
  releaseLocked(s, cf, "CFRelease");
}

CFStringRef __CFStringMakeConstantString(const char* cStr) {
  State& s = state();
  Lock lock(s.mutex);
  return constantString(s, cStr);
}

CFTypeID CFStringGetTypeID(void) { return kStringType; }

CFIndex CFStringGetLength(CFStringRef theString) {
  State& s = state();
  Lock lock(s.mutex);
  auto* str = live<__CFString>(s, theString, kStringType, "CFStringGetLength");
  return str == nullptr ? 0 : static_cast<CFIndex>(str->text.size());
}

void CFStringGetCharacters(CFStringRef theString, CFRange range, UniChar* buffer) {
  State& s = state();
  Lock lock(s.mutex);
  auto* str = live<__CFString>(s, theString, kStringType, "CFStringGetCharacters");
  if (str == nullptr) return;
  const auto size = static_cast<CFIndex>(str->text.size());
  if (range.location < 0 || range.length < 0 || range.location + range.length > size) {
    violation(s, "CFStringGetCharacters: range outside the string");
    return;
  }
  for (CFIndex i = 0; i < range.length; ++i) buffer[i] = str->text[static_cast<std::size_t>(range.location + i)];
}

CFTypeID CFNumberGetTypeID(void) { return kNumberType; }

CFNumberRef CFNumberCreate(CFAllocatorRef, CFNumberType theType, const void* valuePtr) {
  State& s = state();
  Lock lock(s.mutex);
  std::int64_t value = 0;
  switch (theType) {
    case kCFNumberSInt8Type: value = *static_cast<const std::int8_t*>(valuePtr); break;
    case kCFNumberSInt16Type: value = *static_cast<const std::int16_t*>(valuePtr); break;
    case kCFNumberSInt32Type: value = *static_cast<const std::int32_t*>(valuePtr); break;
    case kCFNumberSInt64Type: value = *static_cast<const std::int64_t*>(valuePtr); break;
    default: violation(s, "CFNumberCreate: number type the fake does not know"); return nullptr;
  }
  return makeNumber(s, value);
}

Boolean CFNumberGetValue(CFNumberRef number, CFNumberType theType, void* valuePtr) {
  State& s = state();
  Lock lock(s.mutex);
  auto* n = live<__CFNumber>(s, number, kNumberType, "CFNumberGetValue");
  if (n == nullptr) return false;
  const std::int64_t v = n->value;
  switch (theType) {
    case kCFNumberSInt32Type:
      *static_cast<std::int32_t*>(valuePtr) = static_cast<std::int32_t>(v);
      return v >= std::numeric_limits<std::int32_t>::min() && v <= std::numeric_limits<std::int32_t>::max();
    case kCFNumberSInt64Type: *static_cast<std::int64_t*>(valuePtr) = v; return true;
    default: violation(s, "CFNumberGetValue: number type the fake does not know"); return false;
  }
}

CFDictionaryRef CFDictionaryCreate(CFAllocatorRef, const void** keys, const void** values, CFIndex numValues,
                                   const CFDictionaryKeyCallBacks* keyCallBacks,
                                   const CFDictionaryValueCallBacks* valueCallBacks) {
  State& s = state();
  Lock lock(s.mutex);
  auto* dict = adopt(s, new __CFDictionary);
  dict->retains = keyCallBacks == &kCFTypeDictionaryKeyCallBacks && valueCallBacks == &kCFTypeDictionaryValueCallBacks;
  if (!dict->retains) violation(s, "CFDictionaryCreate: CF objects stored without the CFType callbacks");
  for (CFIndex i = 0; i < numValues; ++i) {
    if (find(s, keys[i]) == nullptr || find(s, values[i]) == nullptr) {
      violation(s, "CFDictionaryCreate: a key or value is not a live object");
      continue;
    }
    if (dict->retains) {
      retainLocked(s, keys[i]);
      retainLocked(s, values[i]);
    }
    dict->items.emplace_back(keys[i], values[i]);
  }
  return dict;
}

CFIndex CFSetGetCount(CFSetRef theSet) {
  State& s = state();
  Lock lock(s.mutex);
  auto* set = live<__CFSet>(s, theSet, kSetType, "CFSetGetCount");
  return set == nullptr ? 0 : static_cast<CFIndex>(set->values.size());
}

void CFSetGetValues(CFSetRef theSet, const void** values) {
  State& s = state();
  Lock lock(s.mutex);
  auto* set = live<__CFSet>(s, theSet, kSetType, "CFSetGetValues");
  if (set != nullptr) std::copy(set->values.begin(), set->values.end(), values);
}

CFRunLoopRef CFRunLoopGetCurrent(void) {
  State& s = state();
  Lock lock(s.mutex);
  return currentLoop(s);
}

// As documented: Finished when the mode has no source, Stopped after
// CFRunLoopStop, HandledSource after one source when asked to return then,
// TimedOut once `seconds` have passed. While it waits, the backends are
// served each millisecond, as a device would go on sending.
CFRunLoopRunResult CFRunLoopRunInMode(CFRunLoopMode mode, CFTimeInterval seconds, Boolean returnAfterSourceHandled) {
  State& s = state();
  Lock lock(s.mutex);
  requirePool(s, "CFRunLoopRunInMode");
  auto* loop = currentLoop(s);
  const std::u16string modeText = textOf(s, mode, "CFRunLoopRunInMode");
  using Steady = std::chrono::steady_clock;
  const Steady::time_point deadline =
      Steady::now() + std::chrono::duration_cast<Steady::duration>(std::chrono::duration<double>(std::max(seconds, 0.0)));
  for (;;) {
    if (!hasSources(s, loop, modeText)) return kCFRunLoopRunFinished;
    if (std::exchange(loop->stopped, false)) return kCFRunLoopRunStopped;
    const auto services = servicesOf(s, loop, modeText);
    lock.unlock();
    for (auto& service : services) service();
    lock.lock();
    if (Event event = nextEvent(s, loop, modeText)) {
      lock.unlock();
      event.deliver();
      lock.lock();
      if (returnAfterSourceHandled) return kCFRunLoopRunHandledSource;
      continue;
    }
    const Steady::time_point now = Steady::now();
    if (now >= deadline) return kCFRunLoopRunTimedOut;
    s.changed.wait_until(lock, std::min(deadline, now + std::chrono::milliseconds(1)));
  }
}

void CFRunLoopWakeUp(CFRunLoopRef rl) {
  State& s = state();
  Lock lock(s.mutex);
  if (live<__CFRunLoop>(s, rl, kRunLoopType, "CFRunLoopWakeUp") != nullptr) s.changed.notify_all();
}

void CFRunLoopStop(CFRunLoopRef rl) {
  State& s = state();
  Lock lock(s.mutex);
  if (auto* loop = live<__CFRunLoop>(s, rl, kRunLoopType, "CFRunLoopStop")) loop->stopped = true;
  s.changed.notify_all();
}

CFRunLoopSourceRef CFRunLoopSourceCreate(CFAllocatorRef, CFIndex, CFRunLoopSourceContext* context) {
  State& s = state();
  Lock lock(s.mutex);
  if (context == nullptr || context->version != 0 || context->perform == nullptr) {
    violation(s, "CFRunLoopSourceCreate: the fake makes version 0 sources with a perform callback only");
    return nullptr;
  }
  auto* source = adopt(s, new __CFRunLoopSource);
  source->context = *context;
  s.sources.push_back(source);
  return source;
}

void CFRunLoopAddSource(CFRunLoopRef rl, CFRunLoopSourceRef source, CFRunLoopMode mode) {
  State& s = state();
  Lock lock(s.mutex);
  auto* src = live<__CFRunLoopSource>(s, source, kRunLoopSourceType, "CFRunLoopAddSource");
  if (src == nullptr || live<__CFRunLoop>(s, rl, kRunLoopType, "CFRunLoopAddSource") == nullptr) return;
  const std::u16string modeText = textOf(s, mode, "CFRunLoopAddSource");
  if (scheduledOn(*src, rl, modeText)) return;
  src->schedules.emplace_back(rl, modeText);
  retainLocked(s, source);  // the run loop keeps its sources
}

// A signal alone wakes no sleeping run loop; CFRunLoopWakeUp does.
void CFRunLoopSourceSignal(CFRunLoopSourceRef source) {
  State& s = state();
  Lock lock(s.mutex);
  if (auto* src = live<__CFRunLoopSource>(s, source, kRunLoopSourceType, "CFRunLoopSourceSignal")) src->signalled = true;
}

void CFRunLoopSourceInvalidate(CFRunLoopSourceRef source) {
  State& s = state();
  Lock lock(s.mutex);
  auto* src = live<__CFRunLoopSource>(s, source, kRunLoopSourceType, "CFRunLoopSourceInvalidate");
  if (src == nullptr) return;
  const std::size_t held = src->schedules.size();
  src->schedules.clear();
  src->signalled = false;
  for (std::size_t i = 0; i < held; ++i) releaseLocked(s, source, "CFRunLoopSourceInvalidate");
}

io_service_t IOServiceGetMatchingService(mach_port_t mainPort, CFDictionaryRef matching) {
  State& s = state();
  Lock lock(s.mutex);
  if (mainPort != kIOMainPortDefault) violation(s, "IOServiceGetMatchingService: not the main port");
  auto* dict = live<__CFDictionary>(s, matching, kDictionaryType, "IOServiceGetMatchingService");
  if (dict == nullptr) return IO_OBJECT_NULL;
  std::int64_t wanted = -1;
  for (auto& [key, value] : dict->items) {
    if (textOf(s, static_cast<CFStringRef>(key), "matching key") == u"IORegistryEntryID") {
      wanted = static_cast<__CFNumber*>(find(s, value))->value;
    }
  }
  releaseLocked(s, matching, "IOServiceGetMatchingService");  // the call consumes the dictionary
  for (auto& entry : s.entries) {
    if (entry->plugged && static_cast<std::int64_t>(entry->id) == wanted) return newHandle(s, entry, false);
  }
  return IO_OBJECT_NULL;
}

CFMutableDictionaryRef IORegistryEntryIDMatching(uint64_t entryID) {
  State& s = state();
  Lock lock(s.mutex);
  auto* dict = adopt(s, new __CFDictionary);
  dict->retains = true;
  __CFNumber* number = makeNumber(s, static_cast<std::int64_t>(entryID));
  dict->items.emplace_back(constantString(s, "IORegistryEntryID"), number);
  return dict;
}

kern_return_t IORegistryEntryGetRegistryEntryID(io_registry_entry_t entry, uint64_t* entryID) {
  State& s = state();
  Lock lock(s.mutex);
  auto it = s.handles.find(entry);
  if (it == s.handles.end()) {
    violation(s, "IORegistryEntryGetRegistryEntryID: not a live io_object_t");
    return kIOReturnBadArgument;
  }
  if (it->second.entry->idReadFails) return kIOReturnNoDevice;
  *entryID = it->second.entry->id;
  return KERN_SUCCESS;
}

kern_return_t IOObjectRelease(io_object_t object) {
  State& s = state();
  Lock lock(s.mutex);
  auto it = s.handles.find(object);
  if (it == s.handles.end() || it->second.internal) {
    violation(s, "IOObjectRelease: not an io_object_t the caller owns");
    return kIOReturnBadArgument;
  }
  s.handles.erase(it);
  return KERN_SUCCESS;
}

IOHIDManagerRef IOHIDManagerCreate(CFAllocatorRef, IOOptionBits) {
  State& s = state();
  Lock lock(s.mutex);
  requirePool(s, "IOHIDManagerCreate");
  if (s.managerCreateFails) return nullptr;
  return adopt(s, new __IOHIDManager);
}

void IOHIDManagerSetDeviceMatching(IOHIDManagerRef manager, CFDictionaryRef matching) {
  State& s = state();
  Lock lock(s.mutex);
  requirePool(s, "IOHIDManagerSetDeviceMatching");
  auto* m = live<__IOHIDManager>(s, manager, kManagerType, "IOHIDManagerSetDeviceMatching");
  if (m == nullptr) return;
  if (matching != nullptr) retainLocked(s, matching);
  if (m->matching != nullptr) releaseLocked(s, m->matching, "IOHIDManagerSetDeviceMatching");
  m->matching = matching;
}

CFSetRef IOHIDManagerCopyDevices(IOHIDManagerRef manager) {
  State& s = state();
  Lock lock(s.mutex);
  requirePool(s, "IOHIDManagerCopyDevices");
  auto* m = live<__IOHIDManager>(s, manager, kManagerType, "IOHIDManagerCopyDevices");
  if (m == nullptr) return nullptr;
  std::vector<const void*> found;
  // A set has no order: hand the devices out newest first.
  for (auto it = s.entries.rbegin(); it != s.entries.rend(); ++it) {
    auto& entry = *it;
    if (!entry->plugged) continue;
    if (m->matching != nullptr && !matches(s, *entry, static_cast<const __CFDictionary*>(find(s, m->matching)))) {
      continue;
    }
    __IOHIDDevice* dev = makeDevice(s, entry);
    m->devices.push_back(dev);
    retainLocked(s, dev);
    found.push_back(dev);
  }
  if (found.empty()) return nullptr;
  auto* set = adopt(s, new __CFSet);
  set->values = std::move(found);
  return set;
}

IOHIDDeviceRef IOHIDDeviceCreate(CFAllocatorRef, io_service_t service) {
  State& s = state();
  Lock lock(s.mutex);
  requirePool(s, "IOHIDDeviceCreate");
  auto it = s.handles.find(service);
  if (it == s.handles.end()) {
    violation(s, "IOHIDDeviceCreate: not a live io_service_t");
    return nullptr;
  }
  if (!it->second.entry->plugged) return nullptr;
  return makeDevice(s, it->second.entry);
}

io_service_t IOHIDDeviceGetService(IOHIDDeviceRef ref) {
  State& s = state();
  Lock lock(s.mutex);
  __IOHIDDevice* dev = device(s, ref, "IOHIDDeviceGetService");
  return dev == nullptr ? IO_OBJECT_NULL : dev->service;
}

IOReturn IOHIDDeviceOpen(IOHIDDeviceRef ref, IOOptionBits options) {
  State& s = state();
  Lock lock(s.mutex);
  __IOHIDDevice* dev = device(s, ref, "IOHIDDeviceOpen");
  if (dev == nullptr) return kIOReturnBadArgument;
  Entry& entry = *dev->entry;
  if (!entry.plugged) return kIOReturnNoDevice;
  if (dev->open) return kIOReturnSuccess;
  const bool seize = (options & kIOHIDOptionsTypeSeizeDevice) != 0;
  if (entry.heldElsewhere || entry.seizedBy != nullptr || (seize && entry.sharedOpens > 0)) {
    return kIOReturnExclusiveAccess;
  }
  dev->open = true;
  dev->seized = seize;
  if (seize) {
    entry.seizedBy = dev;
  } else {
    ++entry.sharedOpens;
  }
  entry.inputs.clear();
  auto opened = entry.backend.opened;
  lock.unlock();
  if (opened) opened();
  return kIOReturnSuccess;
}

IOReturn IOHIDDeviceClose(IOHIDDeviceRef ref, IOOptionBits) {
  State& s = state();
  Lock lock(s.mutex);
  __IOHIDDevice* dev = device(s, ref, "IOHIDDeviceClose");
  if (dev == nullptr) return kIOReturnBadArgument;
  if (!dev->open) return kIOReturnNotOpen;
  if (dev->transfer.active) violation(s, "IOHIDDeviceClose with a transfer in flight");
  Entry& entry = *dev->entry;
  dev->open = false;
  if (dev->seized) {
    entry.seizedBy = nullptr;
  } else {
    --entry.sharedOpens;
  }
  entry.inputs.clear();
  auto closed = entry.backend.closed;
  lock.unlock();
  if (closed) closed();
  return kIOReturnSuccess;
}

CFTypeRef IOHIDDeviceGetProperty(IOHIDDeviceRef ref, CFStringRef key) {
  State& s = state();
  Lock lock(s.mutex);
  __IOHIDDevice* dev = device(s, ref, "IOHIDDeviceGetProperty");
  if (dev == nullptr) return nullptr;
  auto it = dev->entry->properties.find(textOf(s, key, "IOHIDDeviceGetProperty"));
  return it == dev->entry->properties.end() ? nullptr : it->second;
}

void IOHIDDeviceScheduleWithRunLoop(IOHIDDeviceRef ref, CFRunLoopRef runLoop, CFStringRef runLoopMode) {
  State& s = state();
  Lock lock(s.mutex);
  __IOHIDDevice* dev = device(s, ref, "IOHIDDeviceScheduleWithRunLoop");
  if (dev == nullptr || live<__CFRunLoop>(s, runLoop, kRunLoopType, "IOHIDDeviceScheduleWithRunLoop") == nullptr) {
    return;
  }
  if (dev->loop != nullptr) {
    violation(s, "IOHIDDeviceScheduleWithRunLoop: already scheduled");
    return;
  }
  if (runLoop != currentLoop(s)) {
    violation(s, "IOHIDDeviceScheduleWithRunLoop: another thread's run loop would run the callbacks");
  }
  dev->loop = runLoop;
  dev->mode = textOf(s, runLoopMode, "IOHIDDeviceScheduleWithRunLoop");
}

void IOHIDDeviceUnscheduleFromRunLoop(IOHIDDeviceRef ref, CFRunLoopRef runLoop, CFStringRef runLoopMode) {
  State& s = state();
  Lock lock(s.mutex);
  __IOHIDDevice* dev = device(s, ref, "IOHIDDeviceUnscheduleFromRunLoop");
  if (dev == nullptr) return;
  if (dev->loop != runLoop || dev->mode != textOf(s, runLoopMode, "IOHIDDeviceUnscheduleFromRunLoop")) {
    violation(s, "IOHIDDeviceUnscheduleFromRunLoop: not scheduled on that run loop and mode");
    return;
  }
  dev->loop = nullptr;
  dev->mode.clear();
}

void IOHIDDeviceRegisterRemovalCallback(IOHIDDeviceRef ref, IOHIDCallback callback, void* context) {
  State& s = state();
  Lock lock(s.mutex);
  __IOHIDDevice* dev = device(s, ref, "IOHIDDeviceRegisterRemovalCallback");
  if (dev == nullptr) return;
  const auto sameContext = [context](const auto& removal) { return removal.second == context; };
  if (callback == nullptr) {
    if (std::erase_if(dev->removals, sameContext) == 0) violation(s, "IOHIDDeviceRegisterRemovalCallback: no such context");
  } else if (std::none_of(dev->removals.begin(), dev->removals.end(), sameContext)) {
    dev->removals.emplace_back(callback, context);
  }
}

void IOHIDDeviceRegisterInputReportCallback(IOHIDDeviceRef ref, uint8_t* report, CFIndex reportLength,
                                            IOHIDReportCallback callback, void* context) {
  State& s = state();
  Lock lock(s.mutex);
  __IOHIDDevice* dev = device(s, ref, "IOHIDDeviceRegisterInputReportCallback");
  if (dev == nullptr) return;
  if (callback != nullptr && (report == nullptr || reportLength <= 0)) {
    violation(s, "IOHIDDeviceRegisterInputReportCallback: a callback without a buffer");
  }
  dev->inputBuffer = report;
  dev->inputLength = reportLength;
  dev->inputCallback = callback;
  dev->inputContext = context;
}

IOReturn IOHIDDeviceSetReportWithCallback(IOHIDDeviceRef ref, IOHIDReportType reportType, CFIndex reportID,
                                          const uint8_t* report, CFIndex reportLength, CFTimeInterval timeout,
                                          IOHIDReportCallback callback, void* context) {
  State& s = state();
  Lock lock(s.mutex);
  __IOHIDDevice* dev = device(s, ref, "IOHIDDeviceSetReportWithCallback");
  if (dev == nullptr) return kIOReturnBadArgument;
  Entry& entry = *dev->entry;
  if (!entry.plugged) return kIOReturnNoDevice;
  if (!dev->open) return kIOReturnNotOpen;
  if (dev->loop == nullptr) {
    violation(s, "IOHIDDeviceSetReportWithCallback: asynchronous transfer on an unscheduled device");
    return kIOReturnNotReady;
  }
  if (dev->transfer.active) return kIOReturnBusy;
  if (reportType != kIOHIDReportTypeFeature) violation(s, "IOHIDDeviceSetReportWithCallback: not a feature report");
  if (report == nullptr || reportLength <= 0) return kIOReturnBadArgument;
  if (reportID != 0 && report[0] != reportID) {
    violation(s, "IOHIDDeviceSetReportWithCallback: byte 0 is not the report ID");
  }
  entry.calls.push_back({reportType, reportID, std::vector<std::uint8_t>(report, report + reportLength), timeout});
  fake_iokit::TransferControl& control = entry.transfers;
  if (control.startFailures != 0) {
    if (control.startFailures > 0) --control.startFailures;
    return control.startResult;
  }
  const double now = s.clock();
  Transfer& t = dev->transfer;
  t = Transfer{};
  t.active = true;
  t.type = reportType;
  t.reportId = reportID;
  t.report = report;
  t.length = reportLength;
  t.copy.assign(report, report + reportLength);
  t.deadline = now + timeout;
  t.completeAt = control.hold ? std::numeric_limits<double>::infinity() : now + control.delaySeconds;
  if (control.completionFailures != 0) {
    if (control.completionFailures > 0) --control.completionFailures;
    t.result = control.completionResult;
  }
  t.callback = callback;
  t.context = context;
  return kIOReturnSuccess;
}

void* objc_autoreleasePoolPush(void) {
  State& s = state();
  Lock lock(s.mutex);
  s.pools[std::this_thread::get_id()].push_back(++s.lastPool);
  return reinterpret_cast<void*>(s.lastPool);
}

void objc_autoreleasePoolPop(void* pool) {
  State& s = state();
  Lock lock(s.mutex);
  auto& pools = s.pools[std::this_thread::get_id()];
  if (pools.empty() || pools.back() != reinterpret_cast<std::uintptr_t>(pool)) {
    return violation(s, "objc_autoreleasePoolPop: not the innermost pool of this thread");
  }
  pools.pop_back();
}

}  // extern "C"

namespace fake_iokit {

namespace {

std::shared_ptr<Entry> mustFind(State& s, std::uint64_t id) {
  auto entry = entryById(s, id);
  if (!entry) throw std::invalid_argument("no such registry entry");
  return entry;
}

void setProperty(State& s, Entry& entry, const char* key, const void* value) {
  static_cast<FakeObject*>(find(s, value))->registryOwned = true;
  entry.properties[constantString(s, key)->text] = value;
}

}  // namespace

std::uint64_t addDevice(const DeviceSpec& spec, std::optional<std::uint64_t> entryId) {
  State& s = state();
  Lock lock(s.mutex);
  auto entry = std::make_shared<Entry>();
  entry->id = entryId ? *entryId : s.nextEntryId++;
  entry->reportIdInBuffer = spec.reportIdInBuffer;
  setProperty(s, *entry, kIOHIDVendorIDKey, makeNumber(s, spec.vendorId));
  setProperty(s, *entry, kIOHIDProductIDKey, makeNumber(s, spec.productId));
  setProperty(s, *entry, kIOHIDDeviceUsagePageKey, makeNumber(s, spec.usagePage));
  setProperty(s, *entry, kIOHIDDeviceUsageKey, makeNumber(s, spec.usage));
  if (spec.maxInputReportSize) {
    setProperty(s, *entry, kIOHIDMaxInputReportSizeKey, makeNumber(s, *spec.maxInputReportSize));
  }
  if (spec.maxFeatureReportSize) {
    setProperty(s, *entry, kIOHIDMaxFeatureReportSizeKey, makeNumber(s, *spec.maxFeatureReportSize));
  }
  if (spec.serialIsNumber) {
    setProperty(s, *entry, kIOHIDSerialNumberKey, makeNumber(s, 1234));
  } else if (spec.serial) {
    auto* serial = adopt(s, new __CFString);
    serial->text = *spec.serial;
    setProperty(s, *entry, kIOHIDSerialNumberKey, serial);
  }
  s.entries.push_back(entry);
  return entry->id;
}

void setBackend(std::uint64_t entryId, Backend backend) {
  State& s = state();
  Lock lock(s.mutex);
  mustFind(s, entryId)->backend = std::move(backend);
}

void unplug(std::uint64_t entryId) {
  State& s = state();
  Lock lock(s.mutex);
  auto entry = mustFind(s, entryId);
  entry->plugged = false;
  entry->inputs.clear();
  s.changed.notify_all();
}

void pushReport(std::uint64_t entryId, const std::uint8_t* report) {
  State& s = state();
  Lock lock(s.mutex);
  auto entry = mustFind(s, entryId);
  const std::uint8_t* first = entry->reportIdInBuffer ? report : report + 1;
  entry->inputs.push_back({kIOReturnSuccess, report[0], std::vector<std::uint8_t>(first, report + 64)});
  s.changed.notify_all();
}

void pushRawReport(std::uint64_t entryId, std::uint32_t reportId, std::vector<std::uint8_t> bytes, IOReturn result) {
  State& s = state();
  Lock lock(s.mutex);
  mustFind(s, entryId)->inputs.push_back({result, reportId, std::move(bytes)});
  s.changed.notify_all();
}

void holdElsewhere(std::uint64_t entryId, bool held) {
  State& s = state();
  Lock lock(s.mutex);
  mustFind(s, entryId)->heldElsewhere = held;
}

void setTransfers(std::uint64_t entryId, const TransferControl& control) {
  State& s = state();
  Lock lock(s.mutex);
  mustFind(s, entryId)->transfers = control;
}

void failEntryIdRead(std::uint64_t entryId) {
  State& s = state();
  Lock lock(s.mutex);
  mustFind(s, entryId)->idReadFails = true;
}

void failManagerCreate(bool fail) {
  State& s = state();
  Lock lock(s.mutex);
  s.managerCreateFails = fail;
}

bool isOpen(std::uint64_t entryId) {
  State& s = state();
  Lock lock(s.mutex);
  auto entry = mustFind(s, entryId);
  return entry->seizedBy != nullptr || entry->sharedOpens > 0;
}

bool hasTransferInFlight(std::uint64_t entryId) {
  State& s = state();
  Lock lock(s.mutex);
  for (__IOHIDDevice* dev : s.devices) {
    if (dev->entry->id == entryId && dev->transfer.active) return true;
  }
  return false;
}

std::size_t queuedInput(std::uint64_t entryId) {
  State& s = state();
  Lock lock(s.mutex);
  return mustFind(s, entryId)->inputs.size();
}

std::vector<SetReportCall> setReportCalls(std::uint64_t entryId) {
  State& s = state();
  Lock lock(s.mutex);
  return mustFind(s, entryId)->calls;
}

void setClock(std::function<double()> seconds) {
  State& s = state();
  Lock lock(s.mutex);
  s.clock = std::move(seconds);
}

void useManualClock() {
  State& s = state();
  Lock lock(s.mutex);
  s.clock = [&s] { return s.manualNow; };
}

void advanceClock(double seconds) {
  State& s = state();
  Lock lock(s.mutex);
  s.manualNow += seconds;
  s.changed.notify_all();
}

std::vector<std::string> problems() {
  State& s = state();
  Lock lock(s.mutex);
  std::vector<std::string> found = s.violations;
  for (auto& [ref, object] : s.objects) {
    if (!object->immortal && !object->registryOwned) found.push_back(std::string("leaked ") + typeName(object->type));
  }
  for (auto& [handle, h] : s.handles) {
    if (!h.internal) found.push_back("io_object_t " + std::to_string(handle) + " never released");
  }
  for (auto& [thread, pools] : s.pools) {
    if (!pools.empty()) found.push_back("autorelease pool pushed and never popped");
  }
  return found;
}

void reset() {
  State& s = state();
  Lock lock(s.mutex);
  for (auto it = s.objects.begin(); it != s.objects.end();) {
    if (it->second->immortal) {
      ++it;
      continue;
    }
    delete it->second;
    it = s.objects.erase(it);
  }
  s.devices.clear();
  s.sources.clear();
  for (auto& [thread, loop] : s.loops) loop->stopped = false;
  s.entries.clear();
  s.handles.clear();
  s.violations.clear();
  s.pools.clear();
  s.managerCreateFails = false;
  s.clock = steadySeconds;
  s.manualNow = 1000.0;
}

}  // namespace fake_iokit
