/* GNUstep's AppKit plus declarations, with Apple's names and types, of what
   the application uses and GNUstep 0.29 lacks. Declarations only: the
   application is compiled here, never run. Used only by the test stage,
   never on macOS. */
#pragma once
#include <gnustep_checked_version.h>
#include_next <AppKit/AppKit.h>
#include <CoreGraphics/CoreGraphics.h>

/* Audited as Apple's AppKit headers are: a pointer is nonnull unless
   declared nullable. */
NS_ASSUME_NONNULL_BEGIN

/* Window levels: values looked up at run time through Core Graphics, so
   never constant expressions (GNUstep's are enumerators, with another
   floating level; generate_headers.sh renames them).
   https://developer.apple.com/documentation/appkit/nswindow/level-swift.struct
   ("mapped to corresponding elements in CGWindowLevelKey") */
typedef NSInteger NSWindowLevel;
static const NSWindowLevel NSNormalWindowLevel = kCGNormalWindowLevel;
static const NSWindowLevel NSFloatingWindowLevel = kCGFloatingWindowLevel;
static const NSWindowLevel NSSubmenuWindowLevel = kCGTornOffMenuWindowLevel;
static const NSWindowLevel NSTornOffMenuWindowLevel = kCGTornOffMenuWindowLevel;
static const NSWindowLevel NSMainMenuWindowLevel = kCGMainMenuWindowLevel;
static const NSWindowLevel NSStatusWindowLevel = kCGStatusWindowLevel;
static const NSWindowLevel NSModalPanelWindowLevel = kCGModalPanelWindowLevel;
static const NSWindowLevel NSPopUpMenuWindowLevel = kCGPopUpMenuWindowLevel;
static const NSWindowLevel NSScreenSaverWindowLevel = kCGScreenSaverWindowLevel;

/* https://developer.apple.com/documentation/appkit/nswindow/stylemask-swift.struct */
typedef NS_OPTIONS(NSUInteger, NSWindowStyleMask) {
  NSWindowStyleMaskBorderless = 0,
  NSWindowStyleMaskTitled = 1 << 0,
  NSWindowStyleMaskClosable = 1 << 1,
  NSWindowStyleMaskMiniaturizable = 1 << 2,
  NSWindowStyleMaskResizable = 1 << 3,
  NSWindowStyleMaskTexturedBackground API_DEPRECATED("", macos(10.2, 11.0)) = 1 << 8,
  NSWindowStyleMaskUnifiedTitleAndToolbar = 1 << 12,
  NSWindowStyleMaskFullScreen API_AVAILABLE(macos(10.7)) = 1 << 14,
  NSWindowStyleMaskFullSizeContentView API_AVAILABLE(macos(10.10)) = 1 << 15,
  NSWindowStyleMaskUtilityWindow = 1 << 4,
  NSWindowStyleMaskDocModalWindow = 1 << 6,
  NSWindowStyleMaskNonactivatingPanel = 1 << 7,
  NSWindowStyleMaskHUDWindow API_AVAILABLE(macos(10.6)) = 1 << 13,
};
/* The names before macOS 10.12, deprecated since.
   https://developer.apple.com/documentation/appkit/nstitledwindowmask (and the others) */
static const NSWindowStyleMask NSBorderlessWindowMask
    API_DEPRECATED_WITH_REPLACEMENT("NSWindowStyleMaskBorderless", macos(10.0, 10.12)) = NSWindowStyleMaskBorderless;
static const NSWindowStyleMask NSTitledWindowMask
    API_DEPRECATED_WITH_REPLACEMENT("NSWindowStyleMaskTitled", macos(10.0, 10.12)) = NSWindowStyleMaskTitled;
static const NSWindowStyleMask NSClosableWindowMask
    API_DEPRECATED_WITH_REPLACEMENT("NSWindowStyleMaskClosable", macos(10.0, 10.12)) = NSWindowStyleMaskClosable;
static const NSWindowStyleMask NSMiniaturizableWindowMask
    API_DEPRECATED_WITH_REPLACEMENT("NSWindowStyleMaskMiniaturizable", macos(10.0, 10.12)) = NSWindowStyleMaskMiniaturizable;
static const NSWindowStyleMask NSResizableWindowMask
    API_DEPRECATED_WITH_REPLACEMENT("NSWindowStyleMaskResizable", macos(10.0, 10.12)) = NSWindowStyleMaskResizable;

/* https://developer.apple.com/documentation/appkit/nswindow/collectionbehavior-swift.struct
   (primary, auxiliary, canJoinAllApplications: macOS 13) */
typedef NS_OPTIONS(NSUInteger, NSWindowCollectionBehavior) {
  NSWindowCollectionBehaviorDefault = 0,
  NSWindowCollectionBehaviorCanJoinAllSpaces = 1 << 0,
  NSWindowCollectionBehaviorMoveToActiveSpace = 1 << 1,
  NSWindowCollectionBehaviorManaged API_AVAILABLE(macos(10.6)) = 1 << 2,
  NSWindowCollectionBehaviorTransient API_AVAILABLE(macos(10.6)) = 1 << 3,
  NSWindowCollectionBehaviorStationary API_AVAILABLE(macos(10.6)) = 1 << 4,
  NSWindowCollectionBehaviorParticipatesInCycle API_AVAILABLE(macos(10.6)) = 1 << 5,
  NSWindowCollectionBehaviorIgnoresCycle API_AVAILABLE(macos(10.6)) = 1 << 6,
  NSWindowCollectionBehaviorFullScreenPrimary API_AVAILABLE(macos(10.7)) = 1 << 7,
  NSWindowCollectionBehaviorFullScreenAuxiliary API_AVAILABLE(macos(10.7)) = 1 << 8,
  NSWindowCollectionBehaviorFullScreenNone API_AVAILABLE(macos(10.7)) = 1 << 9,
  NSWindowCollectionBehaviorFullScreenAllowsTiling API_AVAILABLE(macos(10.11)) = 1 << 11,
  NSWindowCollectionBehaviorFullScreenDisallowsTiling API_AVAILABLE(macos(10.11)) = 1 << 12,
  NSWindowCollectionBehaviorPrimary API_AVAILABLE(macos(13.0)) = 1 << 16,
  NSWindowCollectionBehaviorAuxiliary API_AVAILABLE(macos(13.0)) = 1 << 17,
  NSWindowCollectionBehaviorCanJoinAllApplications API_AVAILABLE(macos(13.0)) = 1 << 18,
};

/* https://developer.apple.com/documentation/appkit/nsview/autoresizingmask-swift.struct */
typedef NS_OPTIONS(NSUInteger, NSAutoresizingMaskOptions) {
  NSViewNotSizable = 0,
  NSViewMinXMargin = 1,
  NSViewWidthSizable = 2,
  NSViewMaxXMargin = 4,
  NSViewMinYMargin = 8,
  NSViewHeightSizable = 16,
  NSViewMaxYMargin = 32,
};

/* https://developer.apple.com/documentation/foundation/1391126-nsrecttocgrect */
static inline CGRect NSRectToCGRect(NSRect rect) {
  return CGRect{{rect.origin.x, rect.origin.y}, {rect.size.width, rect.size.height}};
}

/* https://developer.apple.com/documentation/appkit/nsevent/modifierflags/control */
enum : NSEventModifierFlags { NSEventModifierFlagControl = NSControlKeyMask };

/* https://developer.apple.com/documentation/appkit/nsmenuitemvalidation */
@protocol NSMenuItemValidation <NSObject>
- (BOOL)validateMenuItem:(NSMenuItem*)menuItem;
@end

/* https://developer.apple.com/documentation/appkit/nsfont/weight */
@interface NSFont (LCDCompat)
/* https://developer.apple.com/documentation/appkit/nsfont/1530139-systemfontofsize */
+ (NSFont*)systemFontOfSize:(CGFloat)fontSize weight:(NSFontWeight)weight API_AVAILABLE(macos(10.11));
@end

@interface NSTextField (LCDCompat)
/* https://developer.apple.com/documentation/appkit/nstextfield/1644377-labelwithstring */
+ (instancetype)labelWithString:(NSString*)stringValue API_AVAILABLE(macos(10.12));
@end

@interface NSControl (LCDCompat)
/* https://developer.apple.com/documentation/appkit/nscontrol/1428950-linebreakmode */
@property NSLineBreakMode lineBreakMode;
@end

@interface NSView (LCDCompat)
/* https://developer.apple.com/documentation/appkit/nsview/1526912-needslayout */
@property BOOL needsLayout;
/* https://developer.apple.com/documentation/appkit/nsview/1526021-layout */
- (void)layout;
/* https://developer.apple.com/documentation/appkit/nsview/1526039-layoutsubtreeifneeded */
- (void)layoutSubtreeIfNeeded;
@end

/* https://developer.apple.com/documentation/appkit/nswindow/tabbingmode-swift.enum */
typedef NS_ENUM(NSInteger, NSWindowTabbingMode) {
  NSWindowTabbingModeAutomatic,
  NSWindowTabbingModePreferred,
  NSWindowTabbingModeDisallowed
} API_AVAILABLE(macos(10.12));

@interface NSWindow (LCDCompat) <NSUserInterfaceValidations>
/* https://developer.apple.com/documentation/appkit/nswindow/1419325-stylemask */
@property NSWindowStyleMask styleMask;
/* https://developer.apple.com/documentation/appkit/nswindow/1419132-visible */
@property (getter=isVisible, readonly) BOOL visible;
/* https://developer.apple.com/documentation/appkit/nswindow/1419699-miniaturized */
@property (getter=isMiniaturized, readonly) BOOL miniaturized;
/* https://developer.apple.com/documentation/appkit/nswindow/1419561-excludedfromwindowsmenu */
@property (getter=isExcludedFromWindowsMenu) BOOL excludedFromWindowsMenu;
/* https://developer.apple.com/documentation/appkit/nswindow/1526255-restorable */
@property (getter=isRestorable) BOOL restorable;
/* https://developer.apple.com/documentation/appkit/nswindow/1644729-tabbingmode */
@property NSWindowTabbingMode tabbingMode API_AVAILABLE(macos(10.12));
/* https://developer.apple.com/documentation/appkit/nswindow/1419339-performwindowdrag */
- (void)performWindowDragWithEvent:(NSEvent*)event API_AVAILABLE(macos(10.11));
/* https://developer.apple.com/documentation/appkit/nswindow/1419280-validateuserinterfaceitem
   (NSWindow conforms to NSUserInterfaceValidations) */
- (BOOL)validateUserInterfaceItem:(id<NSValidatedUserInterfaceItem>)item;
/* https://developer.apple.com/documentation/appkit/nswindow/1419204-validatemenuitem */
- (BOOL)validateMenuItem:(NSMenuItem*)menuItem;
@end

/* https://developer.apple.com/documentation/appkit/nsaboutpaneloptionkey */
typedef NSString* NSAboutPanelOptionKey;
/* https://developer.apple.com/documentation/appkit/nsaboutpaneloptionkey/applicationname */
extern const NSAboutPanelOptionKey NSAboutPanelOptionApplicationName API_AVAILABLE(macos(10.13));
/* https://developer.apple.com/documentation/appkit/nsaboutpaneloptionkey/applicationversion */
extern const NSAboutPanelOptionKey NSAboutPanelOptionApplicationVersion API_AVAILABLE(macos(10.13));
/* https://developer.apple.com/documentation/appkit/nsaboutpaneloptionkey/version */
extern const NSAboutPanelOptionKey NSAboutPanelOptionVersion API_AVAILABLE(macos(10.13));
/* https://developer.apple.com/documentation/appkit/nsaboutpaneloptionkey/credits */
extern const NSAboutPanelOptionKey NSAboutPanelOptionCredits API_AVAILABLE(macos(10.13));

@interface NSApplication (LCDCompat)
/* https://developer.apple.com/documentation/appkit/nsapplication/1428621-setactivationpolicy */
- (BOOL)setActivationPolicy:(NSApplicationActivationPolicy)activationPolicy;
/* https://developer.apple.com/documentation/appkit/nsapplication/activate() */
- (void)activate API_AVAILABLE(macos(14.0));
@end

/* https://developer.apple.com/documentation/appkit/nsbitmapimagerep/filetype/png
   (GNUstep knows only the name deprecated in macOS 10.12, NSPNGFileType) */
static const NSBitmapImageFileType NSBitmapImageFileTypePNG API_AVAILABLE(macos(10.12)) = NSPNGFileType;

@interface NSPasteboard (LCDCompat)
/* https://developer.apple.com/documentation/appkit/nspasteboard/1533599-clearcontents */
- (NSInteger)clearContents API_AVAILABLE(macos(10.6));
@end

/* The designated initialisers Apple marks, with their nullability, are
   declared in GNUstep's own headers by generate_headers.sh: clang holds an
   override to the class's declaration only. */

NS_ASSUME_NONNULL_END
