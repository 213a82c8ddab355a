#pragma once
// Simulated <IOKit/IOKitLib.h>: registry entry IDs and service matching.
#include <CoreFoundation/CoreFoundation.h>
#include <IOKit/IOReturn.h>
#include <cstdint>

extern "C" {

typedef unsigned int mach_port_t;
typedef mach_port_t io_object_t;
typedef io_object_t io_service_t;
typedef io_object_t io_registry_entry_t;
typedef UInt32 IOOptionBits;

#define MACH_PORT_NULL 0
#define IO_OBJECT_NULL ((io_object_t)0)

extern const mach_port_t kIOMainPortDefault;

// Consumes one reference to `matching`.
io_service_t IOServiceGetMatchingService(mach_port_t mainPort, CFDictionaryRef matching);
CFMutableDictionaryRef IORegistryEntryIDMatching(uint64_t entryID);
kern_return_t IORegistryEntryGetRegistryEntryID(io_registry_entry_t entry, uint64_t* entryID);
kern_return_t IOObjectRelease(io_object_t object);

}  // extern "C"
