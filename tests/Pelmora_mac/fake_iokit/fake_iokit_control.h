#pragma once
// The test side of the simulated IOKit and Core Foundation: a registry of
// HID devices to plug, unplug and feed, controls that make transfers fail,
// a clock for set-report time-outs, and the books the fake keeps on every
// reference. All functions are safe to call from any thread; callbacks reach
// the code under test only inside CFRunLoopRunInMode, on the thread whose
// run loop the device is scheduled on.
#include <IOKit/hid/IOHIDManager.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace fake_iokit {

// The properties a HID device shows in the registry.
struct DeviceSpec {
  std::int64_t vendorId = 0x39D0;
  std::int64_t productId = 0x0101;
  std::int64_t usagePage = 0xFF00;
  std::int64_t usage = 1;
  std::optional<std::int64_t> maxInputReportSize = 64;    // nullopt: property absent
  std::optional<std::int64_t> maxFeatureReportSize = 64;
  std::optional<std::u16string> serial = u"SN1";
  bool serialIsNumber = false;  // "SerialNumber" present, but a number
  // Input reports of a device with report IDs reach the callback with the ID
  // byte first (64 bytes) or, on some stacks, without it (63 bytes).
  bool reportIdInBuffer = true;
};

// What stands behind a registry entry (a simulated synthesizer, say). Called
// without the fake's lock, on the thread that runs the run loop or opens.
struct Backend {
  std::function<void()> service;  // at every run-loop slice that serves the device
  std::function<void()> opened;
  std::function<void()> closed;
  std::function<void(const std::uint8_t* report, std::size_t length)> featureReceived;
};

// How set-report transfers of a device go.
struct TransferControl {
  IOReturn startResult = kIOReturnSuccess;  // refused at start while startFailures lasts
  int startFailures = 0;
  bool hold = false;  // never complete by themselves; only their time-out ends them
  double delaySeconds = 0;
  IOReturn completionResult = kIOReturnSuccess;  // completion result while completionFailures lasts
  int completionFailures = 0;
};

// One IOHIDDeviceSetReportWithCallback as the device saw it.
struct SetReportCall {
  IOHIDReportType type;
  CFIndex reportId;
  std::vector<std::uint8_t> report;
  CFTimeInterval timeout;
};

// Plugs a device in; returns its registry entry ID (a new one unless given).
std::uint64_t addDevice(const DeviceSpec& spec = {}, std::optional<std::uint64_t> entryId = {});
void setBackend(std::uint64_t entryId, Backend backend);
// The entry leaves the registry; scheduled device references get their
// removal callback and lose their transfer (aborted).
void unplug(std::uint64_t entryId);
// A 64-byte report with the ID in byte 0, delivered with or without the ID
// byte as the device's DeviceSpec says.
void pushReport(std::uint64_t entryId, const std::uint8_t* report);
// Anything at all, exactly as given to the callback.
void pushRawReport(std::uint64_t entryId, std::uint32_t reportId, std::vector<std::uint8_t> bytes,
                   IOReturn result = kIOReturnSuccess);
// Another process holds the device seized.
void holdElsewhere(std::uint64_t entryId, bool held);
void setTransfers(std::uint64_t entryId, const TransferControl& control);
void failEntryIdRead(std::uint64_t entryId);
void failManagerCreate(bool fail);

bool isOpen(std::uint64_t entryId);
bool hasTransferInFlight(std::uint64_t entryId);
std::size_t queuedInput(std::uint64_t entryId);
std::vector<SetReportCall> setReportCalls(std::uint64_t entryId);

// Time for set-report time-outs, in seconds. The steady clock by default.
void setClock(std::function<double()> seconds);
void useManualClock();
void advanceClock(double seconds);

// Everything the code under test got wrong so far, and every CF object or
// io_object_t it still holds. Empty when all is well.
std::vector<std::string> problems();
// Forgets every device, object and problem (between tests).
void reset();

}  // namespace fake_iokit
