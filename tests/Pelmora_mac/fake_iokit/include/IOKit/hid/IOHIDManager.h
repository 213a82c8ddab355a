#pragma once
// Simulated <IOKit/hid/IOHIDManager.h>.
#include <IOKit/hid/IOHIDBase.h>
#include <IOKit/hid/IOHIDDevice.h>

extern "C" {

typedef struct __IOHIDManager* IOHIDManagerRef;

IOHIDManagerRef IOHIDManagerCreate(CFAllocatorRef allocator, IOOptionBits options);
void IOHIDManagerSetDeviceMatching(IOHIDManagerRef manager, CFDictionaryRef matching);
// NULL, not an empty set, when nothing matches.
CFSetRef IOHIDManagerCopyDevices(IOHIDManagerRef manager);

}  // extern "C"
