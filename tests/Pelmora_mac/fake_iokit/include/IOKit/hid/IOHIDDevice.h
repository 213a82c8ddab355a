#pragma once
// Simulated <IOKit/hid/IOHIDDevice.h>.
#include <IOKit/IOKitLib.h>
#include <IOKit/hid/IOHIDBase.h>

extern "C" {

IOHIDDeviceRef IOHIDDeviceCreate(CFAllocatorRef allocator, io_service_t service);
// Get rule: the caller does not release the service.
io_service_t IOHIDDeviceGetService(IOHIDDeviceRef device);
IOReturn IOHIDDeviceOpen(IOHIDDeviceRef device, IOOptionBits options);
IOReturn IOHIDDeviceClose(IOHIDDeviceRef device, IOOptionBits options);
// Get rule: the caller does not release the value.
CFTypeRef IOHIDDeviceGetProperty(IOHIDDeviceRef device, CFStringRef key);
void IOHIDDeviceScheduleWithRunLoop(IOHIDDeviceRef device, CFRunLoopRef runLoop, CFStringRef runLoopMode);
void IOHIDDeviceUnscheduleFromRunLoop(IOHIDDeviceRef device, CFRunLoopRef runLoop, CFStringRef runLoopMode);
void IOHIDDeviceRegisterRemovalCallback(IOHIDDeviceRef device, IOHIDCallback callback, void* context);
// `report` belongs to the caller and must stay valid while the callback is
// registered.
void IOHIDDeviceRegisterInputReportCallback(IOHIDDeviceRef device, uint8_t* report, CFIndex reportLength,
                                            IOHIDReportCallback callback, void* context);
// The time-out is in seconds. `report` is read until the callback has run.
IOReturn IOHIDDeviceSetReportWithCallback(IOHIDDeviceRef device, IOHIDReportType reportType, CFIndex reportID,
                                          const uint8_t* report, CFIndex reportLength, CFTimeInterval timeout,
                                          IOHIDReportCallback callback, void* context);

}  // extern "C"
