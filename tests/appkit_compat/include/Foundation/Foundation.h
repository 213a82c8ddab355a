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

/* Apple's availability macros (os/availability.h), which GNUstep lacks, for
   the macOS platform only: a declaration newer than the deployment target
   fails an unguarded use under -Wunguarded-availability, a deprecated one
   fails under -Wdeprecated-declarations, both when the stage aims clang at
   the oldest macOS.
   https://developer.apple.com/documentation/swift/marking-api-availability-in-objective-c */
#define LCD_AVAILABILITY_macos(...) macos, introduced = __VA_ARGS__
#define LCD_DEPRECATION_macos(introduced_, deprecated_) macos, introduced = introduced_, deprecated = deprecated_
#define API_AVAILABLE(platform) __attribute__((availability(LCD_AVAILABILITY_##platform)))
#define API_DEPRECATED(text, platform) __attribute__((availability(LCD_DEPRECATION_##platform, message = text)))
#define API_DEPRECATED_WITH_REPLACEMENT(name, platform) \
  __attribute__((availability(LCD_DEPRECATION_##platform, replacement = name)))

/* https://developer.apple.com/documentation/foundation/ns_valid_until_end_of_scope
   (Foundation's NSObjCRuntime.h) */
#ifndef NS_VALID_UNTIL_END_OF_SCOPE
#define NS_VALID_UNTIL_END_OF_SCOPE __attribute__((objc_precise_lifetime))
#endif
