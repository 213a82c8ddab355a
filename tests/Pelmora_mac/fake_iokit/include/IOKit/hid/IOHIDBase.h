#pragma once
// Simulated <IOKit/hid/IOHIDBase.h>: the device reference and the callbacks.
#include <CoreFoundation/CoreFoundation.h>
#include <IOKit/IOReturn.h>
#include <IOKit/hid/IOHIDKeys.h>
#include <cstdint>

extern "C" {

typedef struct __IOHIDDevice* IOHIDDeviceRef;

typedef void (*IOHIDCallback)(void* context, IOReturn result, void* sender);
typedef void (*IOHIDReportCallback)(void* context, IOReturn result, void* sender, IOHIDReportType type,
                                    uint32_t reportID, uint8_t* report, CFIndex reportLength);
typedef void (*IOHIDDeviceCallback)(void* context, IOReturn result, void* sender, IOHIDDeviceRef device);

}  // extern "C"
