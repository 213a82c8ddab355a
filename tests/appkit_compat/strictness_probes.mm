// What Xcode refuses and the compatibility layer must refuse too; the stage
// compiles each probe alone and expects its diagnostic.
#import <AppKit/AppKit.h>

#if defined(PROBE_NULLABLE_INIT)
// NSResponder's -init is audited nonnull.
@interface Probe : NSWindowController
- (nullable instancetype)init NS_DESIGNATED_INITIALIZER;
@end
#elif defined(PROBE_LEVEL_AS_CONSTANT)
// Window levels come from CGWindowLevelForKey at run time.
static_assert(NSFloatingWindowLevel == 3);
#elif defined(PROBE_NEWER_THAN_MINIMUM)
void probe() { [NSApp activate]; }
#elif defined(PROBE_DEPRECATED_NAME)
NSWindowStyleMask probe() { return NSTitledWindowMask; }
#endif
