/* GNUstep's AppKit plus declarations, with Apple's names and types, of what
   the application uses and GNUstep 0.29 lacks. Declarations only: the
   application is compiled here, never run. Used only by the test stage,
   never on macOS. */
#pragma once
#include <gnustep_checked_version.h>
#include_next <AppKit/AppKit.h>
#include <CoreGraphics/CoreGraphics.h>

/* Apple's floating level is 3 (kCGFloatingWindowLevel), GNUstep's 2; the
   application is written for Apple's number.
   https://developer.apple.com/documentation/appkit/nswindow/level/floating */
#define NSFloatingWindowLevel 3

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
+ (NSFont*)systemFontOfSize:(CGFloat)fontSize weight:(NSFontWeight)weight;
@end

@interface NSTextField (LCDCompat)
/* https://developer.apple.com/documentation/appkit/nstextfield/1644377-labelwithstring */
+ (instancetype)labelWithString:(NSString*)stringValue;
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

/* https://developer.apple.com/documentation/appkit/nswindow/collectionbehavior/fullscreennone */
enum : NSUInteger { NSWindowCollectionBehaviorFullScreenNone = 1 << 9 };

/* https://developer.apple.com/documentation/appkit/nswindow/tabbingmode */
typedef NSInteger NSWindowTabbingMode;
enum : NSInteger { NSWindowTabbingModeDisallowed = 2 };

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
@property NSWindowTabbingMode tabbingMode;
/* https://developer.apple.com/documentation/appkit/nswindow/1419339-performwindowdrag */
- (void)performWindowDragWithEvent:(NSEvent*)event;
/* https://developer.apple.com/documentation/appkit/nswindow/1419280-validateuserinterfaceitem
   (NSWindow conforms to NSUserInterfaceValidations) */
- (BOOL)validateUserInterfaceItem:(id<NSValidatedUserInterfaceItem>)item;
/* https://developer.apple.com/documentation/appkit/nswindow/1419204-validatemenuitem */
- (BOOL)validateMenuItem:(NSMenuItem*)menuItem;
@end

/* https://developer.apple.com/documentation/appkit/nsaboutpaneloptionkey */
typedef NSString* NSAboutPanelOptionKey;
/* https://developer.apple.com/documentation/appkit/nsaboutpaneloptionkey/applicationname */
extern const NSAboutPanelOptionKey NSAboutPanelOptionApplicationName;
/* https://developer.apple.com/documentation/appkit/nsaboutpaneloptionkey/applicationversion */
extern const NSAboutPanelOptionKey NSAboutPanelOptionApplicationVersion;
/* https://developer.apple.com/documentation/appkit/nsaboutpaneloptionkey/version */
extern const NSAboutPanelOptionKey NSAboutPanelOptionVersion;
/* https://developer.apple.com/documentation/appkit/nsaboutpaneloptionkey/credits */
extern const NSAboutPanelOptionKey NSAboutPanelOptionCredits;

@interface NSApplication (LCDCompat)
/* https://developer.apple.com/documentation/appkit/nsapplication/1428621-setactivationpolicy */
- (BOOL)setActivationPolicy:(NSApplicationActivationPolicy)activationPolicy;
@end

/* The designated initialisers Apple marks, so that a subclass that adds its
   own is held to overriding them or declaring them unavailable, as on a Mac.
   https://developer.apple.com/documentation/appkit/nswindowcontroller/1528726-initwithwindow
   https://developer.apple.com/documentation/appkit/nsview/1483458-initwithframe */
@interface NSWindowController ()
- (instancetype)initWithWindow:(NSWindow*)window NS_DESIGNATED_INITIALIZER;
- (instancetype)initWithCoder:(NSCoder*)coder NS_DESIGNATED_INITIALIZER;
@end
@interface NSView ()
- (instancetype)initWithFrame:(NSRect)frameRect NS_DESIGNATED_INITIALIZER;
- (instancetype)initWithCoder:(NSCoder*)coder NS_DESIGNATED_INITIALIZER;
@end
