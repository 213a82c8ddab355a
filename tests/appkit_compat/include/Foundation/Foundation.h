/* GNUstep's Foundation for the application's compile check. Used only by
   the test stage, never on macOS. */
#pragma once
#include <gnustep_checked_version.h>
#include_next <Foundation/Foundation.h>

/* GNUstep accepts NS_UNAVAILABLE and drops it; on Apple's side an
   initialiser marked so cannot be called and needs no definition.
   https://developer.apple.com/documentation/swift/ns_unavailable */
#undef NS_UNAVAILABLE
#define NS_UNAVAILABLE __attribute__((unavailable))
