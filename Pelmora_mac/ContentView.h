#pragma once
// One LCD window: its controller, which owns the window, the views and the
// session, and the borderless window with its own title bar and the view
// that draws the LCD picture.
#import <AppKit/AppKit.h>

#import "Pelmora_mac/LCDSession.h"
#include "Pelmora_mac/ui/menu_layout.h"

NS_ASSUME_NONNULL_BEGIN

// The actions the application's delegate answers; the menus aim at them.
@protocol LCDApplicationActions <NSObject>
- (void)about;
- (IBAction)newWindow:(nullable id)sender;
@end

// Builds a menu from its description: items aimed at the delegate go to
// `delegate`, items aimed at the window to `window`, the others follow the
// responder chain.
NSMenu* LCDMakeMenu(const pelmora::mac::MenuSpec& spec, id<LCDApplicationActions> _Nullable delegate,
                    NSWindow* _Nullable window);

// The LCD picture, scaled without smoothing; a control-click opens its menu,
// a drag moves the window.
@interface LCDView : NSView
@property (nonatomic, readonly, nullable) CGImageRef image;
// The frame shown, as showPixels took it.
@property (nonatomic, readonly, nullable, copy) NSData* pixels;
// Shows a frame as LCDSession's takePixels delivers it; anything that is not
// one whole frame is ignored.
- (void)showPixels:(NSData*)pixels;
@end

// The 28-point bar above the picture; dragging it, its title included,
// moves the window.
@interface LCDTitleBar : NSView
@end

// The window's content: the title bar with the window buttons and the title,
// and the LCD picture below.
@interface LCDChromeView : NSView
@property (nonatomic, readonly, strong) LCDView* lcd;
@property (nonatomic, readonly, strong) LCDTitleBar* bar;
@property (nonatomic, readonly, strong) NSTextField* titleLabel;
- (instancetype)initWithLCDView:(LCDView*)lcd NS_DESIGNATED_INITIALIZER;
- (instancetype)initWithFrame:(NSRect)frameRect NS_UNAVAILABLE;
- (nullable instancetype)initWithCoder:(NSCoder*)coder NS_UNAVAILABLE;
@end

// Borderless, yet it closes, miniaturises and becomes key like any window.
@interface LCDWindow : NSWindow
// The level to return to when the window comes back from the Dock; a
// floating window does not float while miniaturised.
@property (nonatomic, strong, nullable) NSNumber* levelBeforeMiniaturize;
@end

@interface LCDWindowController : NSWindowController <NSWindowDelegate, NSMenuItemValidation>
// "--scale N" for every window opened from now on; 0: chosen for the screen.
@property (class, nonatomic) NSInteger requestedScale;
@property (nonatomic, readonly, strong) LCDSession* session;
// Called when the window is about to close.
@property (nonatomic, copy, nullable) void (^onClose)(void);
@property (nonatomic, readonly, strong) LCDView* lcd;
@property (nonatomic, readonly, strong) LCDChromeView* chrome;
@property (nonatomic, readonly) NSInteger scale;
@property (nonatomic, readonly) BOOL topmost;
// The serial last shown in the title.
@property (nonatomic, readonly, copy) NSString* serial;

// The window of a session that has started.
- (instancetype)initWithSession:(LCDSession*)session NS_DESIGNATED_INITIALIZER;
- (instancetype)init NS_UNAVAILABLE;
- (instancetype)initWithWindow:(nullable NSWindow*)window NS_UNAVAILABLE;
- (nullable instancetype)initWithCoder:(NSCoder*)coder NS_UNAVAILABLE;

// The sender's tag is the scale, 1 to 6; the top-left corner stays put.
- (IBAction)changeScale:(nullable id)sender;
- (IBAction)toggleTopmost:(nullable id)sender;
// The picture at its current scale: onto the pasteboard as PNG and TIFF, or
// into a PNG file in Pictures (else the home folder); the title says so.
- (IBAction)copy:(nullable id)sender;
- (IBAction)savePicture:(nullable id)sender;
// Takes the newest frame and follows the serial in the title.
- (void)refresh;
@end

NS_ASSUME_NONNULL_END
