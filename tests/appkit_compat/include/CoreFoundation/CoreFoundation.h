/* The part of Core Foundation the application uses; Debian's GNUstep has
   none. Declarations only, with Apple's names, so that the analyzer's
   retain-count checks apply the Create and Copy rules as on a Mac. */
#pragma once
#include <gnustep_checked_version.h>

#ifdef __cplusplus
extern "C" {
#endif

/* https://developer.apple.com/documentation/corefoundation/cftyperef */
typedef const void* CFTypeRef;
/* https://developer.apple.com/documentation/corefoundation/cfallocatorref */
typedef const struct __CFAllocator* CFAllocatorRef;
/* https://developer.apple.com/documentation/corefoundation/kcfallocatordefault */
extern const CFAllocatorRef kCFAllocatorDefault;
/* https://developer.apple.com/documentation/corefoundation/cfstringref */
typedef const struct __CFString* CFStringRef;
/* https://developer.apple.com/documentation/corefoundation/cfdataref */
typedef const struct __CFData* CFDataRef;
/* https://developer.apple.com/documentation/corefoundation/1543330-cfdatacreatecopy */
CFDataRef CFDataCreateCopy(CFAllocatorRef allocator, CFDataRef theData);
/* https://developer.apple.com/documentation/corefoundation/1521153-cfrelease */
void CFRelease(CFTypeRef cf);

#ifdef __cplusplus
}
#endif
