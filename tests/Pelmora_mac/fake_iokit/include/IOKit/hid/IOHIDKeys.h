#pragma once
// Simulated <IOKit/hid/IOHIDKeys.h>: property keys, report types, options.
#include <cstdint>

extern "C" {

#define kIOHIDVendorIDKey "VendorID"
#define kIOHIDProductIDKey "ProductID"
#define kIOHIDSerialNumberKey "SerialNumber"
#define kIOHIDDeviceUsageKey "DeviceUsage"
#define kIOHIDDeviceUsagePageKey "DeviceUsagePage"
#define kIOHIDMaxInputReportSizeKey "MaxInputReportSize"
#define kIOHIDMaxFeatureReportSizeKey "MaxFeatureReportSize"

enum IOHIDReportType {
  kIOHIDReportTypeInput = 0,
  kIOHIDReportTypeOutput,
  kIOHIDReportTypeFeature,
  kIOHIDReportTypeCount
};
typedef enum IOHIDReportType IOHIDReportType;

enum {
  kIOHIDOptionsTypeNone = 0x00,
  kIOHIDOptionsTypeSeizeDevice = 0x01
};
typedef uint32_t IOHIDOptionsType;

typedef uint32_t IOHIDManagerOptions;
enum {
  kIOHIDManagerOptionNone = 0x0
};

}  // extern "C"
