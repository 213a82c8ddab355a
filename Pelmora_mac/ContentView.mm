#import "Pelmora_mac/ContentView.h"

#import <CoreGraphics/CoreGraphics.h>
#import <dispatch/dispatch.h>
#import <objc/runtime.h>

#include <algorithm>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#import "Pelmora_mac/LCDStrings.h"
#include "Pelmora_mac/ui/frame_image.h"
#include "Pelmora_mac/ui/menu_states.h"
#include "Pelmora_mac/ui/window_geometry.h"
#include "Pelmora_mac/ui/window_title.h"
#include "host/screenshot_name.h"

namespace mac = pelmora::mac;

namespace {

constexpr NSWindowStyleMask kStandardStyle =
    NSWindowStyleMaskTitled | NSWindowStyleMaskClosable | NSWindowStyleMaskMiniaturizable;
constexpr NSWindowCollectionBehavior kCollectionBehavior =
    NSWindowCollectionBehaviorManaged | NSWindowCollectionBehaviorParticipatesInCycle |
    NSWindowCollectionBehaviorFullScreenNone | NSWindowCollectionBehaviorFullScreenDisallowsTiling;
constexpr CGFloat kTitleFontSize = 12;
// How long the title names a copy or a save.
constexpr double kNoticeSeconds = 4;

NSInteger gRequestedScale = 0;  // main thread only

// The portable decisions speak in the platform's numbers.
static_assert(kStandardStyle == 7);
static_assert(kCollectionBehavior == 4644);
static_assert(mac::kAlphaLastBitmapInfo == kCGImageAlphaLast);

// AppKit looks its window levels up at run time; they are no constants.
mac::WindowLevels windowLevels() { return {NSNormalWindowLevel, NSFloatingWindowLevel}; }

constexpr mac::MenuAction kAllActions[] = {
    mac::MenuAction::About,         mac::MenuAction::Hide,          mac::MenuAction::Terminate,
    mac::MenuAction::NewWindow,     mac::MenuAction::PerformClose,  mac::MenuAction::ChangeScale,
    mac::MenuAction::ToggleTopmost, mac::MenuAction::PerformMiniaturize, mac::MenuAction::ArrangeInFront,
    mac::MenuAction::CopyPicture,   mac::MenuAction::SavePicture,
};

SEL selectorFor(mac::MenuAction action) {
  switch (action) {
    case mac::MenuAction::About: return @selector(about);
    case mac::MenuAction::Hide: return @selector(hide:);
    case mac::MenuAction::Terminate: return @selector(terminate:);
    case mac::MenuAction::NewWindow: return @selector(newWindow:);
    case mac::MenuAction::PerformClose: return @selector(performClose:);
    case mac::MenuAction::ChangeScale: return @selector(changeScale:);
    case mac::MenuAction::ToggleTopmost: return @selector(toggleTopmost:);
    case mac::MenuAction::PerformMiniaturize: return @selector(performMiniaturize:);
    case mac::MenuAction::ArrangeInFront: return @selector(arrangeInFront:);
    case mac::MenuAction::CopyPicture: return @selector(copy:);
    case mac::MenuAction::SavePicture: return @selector(savePicture:);
    case mac::MenuAction::None: break;
  }
  return nullptr;
}

mac::MenuAction actionFor(SEL selector) {
  if (selector == nullptr) return mac::MenuAction::None;
  for (const mac::MenuAction action : kAllActions) {
    if (sel_isEqual(selector, selectorFor(action))) return action;
  }
  return mac::MenuAction::None;
}

NSMenuItem* makeMenuItem(const mac::MenuItemSpec& spec, id<LCDApplicationActions> _Nullable delegate,
                         NSWindow* _Nullable window) {
  if (spec.separator) return [NSMenuItem separatorItem];
  NSMenuItem* item = [[NSMenuItem alloc] initWithTitle:LCDStringFromUtf8(spec.title)
                                                action:selectorFor(spec.action)
                                         keyEquivalent:LCDStringFromUtf8(spec.key)];
  item.tag = spec.tag;
  if (spec.target == mac::MenuTarget::Delegate) item.target = delegate;
  if (spec.target == mac::MenuTarget::Window) item.target = window;
  if (!spec.submenu.empty()) {
    NSMenu* submenu = [[NSMenu alloc] initWithTitle:item.title];
    for (const mac::MenuItemSpec& child : spec.submenu) [submenu addItem:makeMenuItem(child, delegate, window)];
    item.submenu = submenu;
  }
  return item;
}

NSRect nsRect(const mac::Rect& rect) {
  return NSMakeRect(rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
}

mac::Rect macRect(NSRect rect) {
  return {{rect.origin.x, rect.origin.y}, {rect.size.width, rect.size.height}};
}

NSSize nsSize(mac::Size size) { return NSMakeSize(size.width, size.height); }

// A whole frame at `scale` as a bitmap; nil when none can be made.
NSBitmapImageRep* _Nullable scaledBitmap(NSData* pixels, NSInteger scale) {
  if (!mac::isWholeFrame(pixels.length)) return nil;
  const std::vector<std::uint8_t> picture =
      mac::scaledPicture(static_cast<const std::uint8_t*>(pixels.bytes), static_cast<int>(scale));
  const mac::FrameImageLayout layout = mac::frameImageLayout();
  const auto width = static_cast<NSInteger>(layout.width) * scale;
  const auto height = static_cast<NSInteger>(layout.height) * scale;
  NSBitmapImageRep* bitmap = [[NSBitmapImageRep alloc] initWithBitmapDataPlanes:nullptr
                                                                     pixelsWide:width
                                                                     pixelsHigh:height
                                                                  bitsPerSample:8
                                                                samplesPerPixel:4
                                                                       hasAlpha:YES
                                                                       isPlanar:NO
                                                                 colorSpaceName:NSDeviceRGBColorSpace
                                                                    bytesPerRow:width * 4
                                                                   bitsPerPixel:32];
  if (bitmap == nil || bitmap.bitmapData == nullptr) return nil;
  std::copy(picture.begin(), picture.end(), bitmap.bitmapData);
  return bitmap;
}

// Pictures when the user has it, else the home folder.
NSString* pictureFolder() {
  NSArray<NSString*>* found = NSSearchPathForDirectoriesInDomains(NSPicturesDirectory, NSUserDomainMask, YES);
  BOOL isFolder = NO;
  NSString* pictures = found.firstObject;
  if (pictures != nil && [NSFileManager.defaultManager fileExistsAtPath:pictures isDirectory:&isFolder] && isFolder) {
    return pictures;
  }
  return NSHomeDirectory();
}

// A free "pelmora-YYYYMMDD-HHMMSS.png" path in the picture folder; nil when none.
NSString* _Nullable freePicturePath() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const char* folder = pictureFolder().fileSystemRepresentation;
  const std::string path = pelmora::host::screenshotPath(folder != nullptr ? folder : "", local, [](const std::string& p) {
    return [NSFileManager.defaultManager fileExistsAtPath:LCDStringFromUtf8(p)];
  });
  return path.empty() ? nil : LCDStringFromUtf8(path);
}

// The tag of whatever sent an action; 0 when it has none.
NSInteger senderTag(id _Nullable sender) {
  if (![sender respondsToSelector:@selector(tag)]) return 0;
  return [static_cast<id<NSValidatedUserInterfaceItem>>(sender) tag];
}

}  // namespace

NSMenu* LCDMakeMenu(const mac::MenuSpec& spec, id<LCDApplicationActions> _Nullable delegate,
                    NSWindow* _Nullable window) {
  NSMenu* menu = [[NSMenu alloc] initWithTitle:LCDStringFromUtf8(spec.title)];
  for (const mac::MenuItemSpec& item : spec.items) [menu addItem:makeMenuItem(item, delegate, window)];
  return menu;
}

@implementation LCDView {
  CGImageRef _image;
  NSData* _pixels;
}

- (void)dealloc {
  CGImageRelease(_image);
}

- (nullable CGImageRef)image {
  return _image;
}

- (nullable NSData*)pixels {
  return _pixels;
}

- (BOOL)isFlipped {
  return YES;
}

- (BOOL)acceptsFirstResponder {
  return YES;
}

- (void)showPixels:(NSData*)pixels {
  if (!mac::isWholeFrame(pixels.length)) return;
  // The image keeps its own copy of the bytes, so nothing the caller does
  // with its buffer afterwards can reach the picture on screen.
  CFDataRef bytes = CFDataCreateCopy(kCFAllocatorDefault, (__bridge CFDataRef)pixels);
  if (bytes == nullptr) return;
  CGDataProviderRef provider = CGDataProviderCreateWithCFData(bytes);
  CFRelease(bytes);
  CGColorSpaceRef space = CGColorSpaceCreateWithName(kCGColorSpaceSRGB);
  CGImageRef image = nullptr;
  if (provider != nullptr && space != nullptr) {
    const mac::FrameImageLayout layout = mac::frameImageLayout();
    image = CGImageCreate(layout.width, layout.height, layout.bitsPerComponent, layout.bitsPerPixel,
                          layout.bytesPerRow, space, static_cast<CGBitmapInfo>(layout.bitmapInfo), provider,
                          nullptr, false, kCGRenderingIntentDefault);
  }
  CGDataProviderRelease(provider);
  CGColorSpaceRelease(space);
  // A frame that cannot be made into an image leaves the previous one shown.
  if (image == nullptr) return;
  CGImageRelease(_image);
  _image = image;
  _pixels = [pixels copy];
  self.needsDisplay = YES;
}

- (void)drawRect:(NSRect)dirtyRect {
  (void)dirtyRect;
  [[NSColor blackColor] setFill];
  NSRectFill(self.bounds);
  if (_image == nullptr) return;
  CGContextRef context = [NSGraphicsContext currentContext].CGContext;
  if (context == nullptr) return;
  const CGRect bounds = NSRectToCGRect(self.bounds);
  CGContextSaveGState(context);
  // Whole-factor scaling with sharp pixels.
  CGContextSetInterpolationQuality(context, kCGInterpolationNone);
  // The view is flipped; the image must still come out upright.
  CGContextTranslateCTM(context, 0, bounds.size.height);
  CGContextScaleCTM(context, 1, -1);
  CGContextDrawImage(context, bounds, _image);
  CGContextRestoreGState(context);
}

- (void)mouseDown:(NSEvent*)event {
  if ((event.modifierFlags & NSEventModifierFlagControl) != 0) {
    NSMenu* menu = self.menu;
    if (menu != nil) [NSMenu popUpContextMenu:menu withEvent:event forView:self];
    return;
  }
  [self.window performWindowDragWithEvent:event];
}

@end

@implementation LCDTitleBar

- (BOOL)isFlipped {
  return YES;
}

- (void)mouseDown:(NSEvent*)event {
  [self.window performWindowDragWithEvent:event];
}

// The title text drags the window like the bar around it; the window
// buttons stay clickable.
- (nullable NSView*)hitTest:(NSPoint)point {
  NSView* hit = [super hitTest:point];
  return [hit isKindOfClass:[NSTextField class]] ? self : hit;
}

@end

@implementation LCDChromeView

- (instancetype)initWithLCDView:(LCDView*)lcd {
  self = [super initWithFrame:nsRect({{0, 0}, mac::contentSizeForScale(mac::kMinScale)})];
  if (self == nil) return nil;
  _bar = [[LCDTitleBar alloc] initWithFrame:NSZeroRect];
  _titleLabel = [NSTextField labelWithString:@""];
  _titleLabel.font = [NSFont systemFontOfSize:kTitleFontSize weight:NSFontWeightMedium];
  _titleLabel.alignment = NSTextAlignmentCenter;
  _titleLabel.lineBreakMode = NSLineBreakByTruncatingMiddle;
  _titleLabel.textColor = [NSColor labelColor];
  _lcd = lcd;
  [_bar addSubview:_titleLabel];
  [self addSubview:_bar];
  [self addSubview:_lcd];
  self.needsLayout = YES;
  return self;
}

- (BOOL)isFlipped {
  return YES;
}

- (BOOL)isOpaque {
  return YES;
}

- (void)layout {
  [super layout];
  const NSSize size = self.bounds.size;
  const mac::ChromeLayout layout = mac::layoutChrome({size.width, size.height});
  _bar.frame = nsRect(layout.bar);
  _titleLabel.frame = nsRect(layout.titleLabel);
  _lcd.frame = nsRect(layout.lcd);
}

- (void)drawRect:(NSRect)dirtyRect {
  (void)dirtyRect;
  [[NSColor windowBackgroundColor] setFill];
  NSRectFill(self.bounds);
}

@end

@implementation LCDWindow

- (BOOL)canBecomeKeyWindow {
  return YES;
}

- (BOOL)canBecomeMainWindow {
  return YES;
}

- (void)performClose:(nullable id)sender {
  (void)sender;
  id<NSWindowDelegate> delegate = self.delegate;
  if ([delegate respondsToSelector:@selector(windowShouldClose:)] && ![delegate windowShouldClose:self]) return;
  [self close];
}

- (void)performMiniaturize:(nullable id)sender {
  (void)sender;
  const std::optional<long> level = mac::levelToRestoreAfterMiniaturize(self.level, windowLevels());
  if (level) {
    self.levelBeforeMiniaturize = @(*level);
    self.level = NSNormalWindowLevel;
  }
  // The level change takes effect before the window leaves for the Dock.
  __weak LCDWindow* weakSelf = self;
  dispatch_async(dispatch_get_main_queue(), ^{
    LCDWindow* window = weakSelf;
    if (window != nil && window.visible && !window.miniaturized) [window miniaturize:nil];
  });
}

- (BOOL)validateMenuItem:(NSMenuItem*)item {
  const std::optional<bool> enabled = mac::windowItemEnabled(actionFor(item.action), self.visible, self.miniaturized);
  return enabled ? *enabled : [super validateMenuItem:item];
}

- (BOOL)validateUserInterfaceItem:(id<NSValidatedUserInterfaceItem>)item {
  const std::optional<bool> enabled = mac::windowItemEnabled(actionFor(item.action), self.visible, self.miniaturized);
  return enabled ? *enabled : [super validateUserInterfaceItem:item];
}

@end

@implementation LCDWindowController {
  NSString* _version;
  NSString* _notice;  // said in the title after a copy or a save; nil: none
  NSString* _replayLabel;  // as the session last told it
  NSUInteger _noticeCount;
}

+ (NSInteger)requestedScale {
  return gRequestedScale;
}

+ (void)setRequestedScale:(NSInteger)scale {
  gRequestedScale = scale;
}

- (instancetype)initWithSession:(LCDSession*)session {
  LCDView* lcd = [[LCDView alloc] initWithFrame:NSZeroRect];
  LCDChromeView* chrome = [[LCDChromeView alloc] initWithLCDView:lcd];
  NSScreen* screen = NSScreen.mainScreen;
  const NSSize visible = screen != nil ? screen.visibleFrame.size : NSZeroSize;
  const int scale = mac::firstScale(static_cast<int>(gRequestedScale), {visible.width, visible.height});
  const NSSize content = nsSize(mac::contentSizeForScale(scale));
  LCDWindow* window = [[LCDWindow alloc] initWithContentRect:NSMakeRect(0, 0, content.width, content.height)
                                                   styleMask:kStandardStyle
                                                     backing:NSBackingStoreBuffered
                                                       defer:NO];
  // Closable and miniaturisable, but without the platform's title bar: the
  // chrome draws its own.
  window.styleMask = kStandardStyle & ~NSWindowStyleMaskTitled;
  [window setContentSize:content];
  self = [super initWithWindow:window];
  if (self == nil) return nil;
  _session = session;
  _lcd = lcd;
  _chrome = chrome;
  _scale = scale;
  _topmost = NO;
  _serial = @"";
  _version = LCDApplicationVersion();
  // A frame is shown as it arrives; the delegate's 60 Hz tick still looks too.
  __weak LCDWindowController* weakSelf = self;
  [session setArrivalHandler:^{
    [weakSelf refresh];
  }];

  _replayLabel = session.replayLabel;
  NSString* title = [self titleText];
  window.title = title;
  chrome.titleLabel.stringValue = title;
  window.opaque = YES;
  window.backgroundColor = [NSColor blackColor];
  window.hasShadow = YES;
  window.contentView = chrome;
  window.contentMinSize = content;
  window.contentMaxSize = content;
  [self placeStandardButtonsOfWindow:window];
  [chrome layoutSubtreeIfNeeded];

  window.delegate = self;
  window.releasedWhenClosed = NO;
  window.restorable = NO;
  window.excludedFromWindowsMenu = NO;
  // A window without a title bar is not listed on its own.
  [NSApp addWindowsItem:window title:title filename:NO];
  window.collectionBehavior = kCollectionBehavior;
  window.tabbingMode = NSWindowTabbingModeDisallowed;
  lcd.menu = LCDMakeMenu(mac::contextMenu(LCDUserLanguage()), nil, window);

  [window center];
  const mac::Point offset = mac::cascadeOffset(NSApp.windows.count);
  const NSPoint origin = window.frame.origin;
  [window setFrameOrigin:NSMakePoint(origin.x + offset.x, origin.y + offset.y)];
  return self;
}

- (void)placeStandardButtonsOfWindow:(NSWindow*)window {
  const NSWindowButton kinds[mac::kStandardButtonCount] = {NSWindowCloseButton, NSWindowMiniaturizeButton,
                                                           NSWindowZoomButton};
  for (int index = 0; index < mac::kStandardButtonCount; ++index) {
    const NSWindowButton kind = kinds[index];
    NSButton* button = [NSWindow standardWindowButton:kind forStyleMask:kStandardStyle];
    if (button == nil) continue;
    const mac::Point origin = mac::standardButtonOrigin(index, button.frame.size.height);
    [button setFrameOrigin:NSMakePoint(origin.x, origin.y)];
    button.target = window;
    if (kind == NSWindowCloseButton) button.action = @selector(performClose:);
    if (kind == NSWindowMiniaturizeButton) button.action = @selector(performMiniaturize:);
    // The size only ever changes through the scale menu.
    if (kind == NSWindowZoomButton) button.enabled = NO;
    [_chrome.bar addSubview:button];
  }
}

- (IBAction)changeScale:(nullable id)sender {
  NSWindow* window = self.window;
  if (window == nil) return;
  const std::optional<mac::ScaleChange> change = mac::planScaleChange(senderTag(sender), macRect(window.frame));
  if (!change) return;
  _scale = change->scale;
  const NSSize size = nsSize(change->contentSize);
  window.contentMinSize = size;
  window.contentMaxSize = size;
  [window setContentSize:size];
  _chrome.needsLayout = YES;
  [_chrome layoutSubtreeIfNeeded];
  [window setFrameTopLeftPoint:NSMakePoint(change->topLeft.x, change->topLeft.y)];
}

- (IBAction)toggleTopmost:(nullable id)sender {
  (void)sender;
  _topmost = !_topmost;
  self.window.level = mac::levelForTopmost(_topmost, windowLevels());
}

- (BOOL)validateMenuItem:(NSMenuItem*)item {
  const std::optional<bool> checked =
      mac::itemChecked(actionFor(item.action), item.tag, static_cast<int>(_scale), _topmost);
  if (checked) item.state = *checked ? NSControlStateValueOn : NSControlStateValueOff;
  return YES;
}

- (void)windowDidDeminiaturize:(NSNotification*)notification {
  (void)notification;
  if (![self.window isKindOfClass:[LCDWindow class]]) return;
  LCDWindow* window = static_cast<LCDWindow*>(self.window);
  NSNumber* level = window.levelBeforeMiniaturize;
  if (level == nil) return;
  window.level = level.integerValue;
  window.levelBeforeMiniaturize = nil;
}

- (void)windowWillClose:(NSNotification*)notification {
  (void)notification;
  [NSApp removeWindowsItem:self.window];
  void (^onClose)(void) = self.onClose;
  if (onClose != nil) onClose();
}

- (IBAction)copy:(nullable id)sender {
  (void)sender;
  NSData* pixels = _lcd.pixels;
  NSBitmapImageRep* bitmap = pixels != nil ? scaledBitmap(pixels, _scale) : nil;
  NSData* png = [bitmap representationUsingType:NSBitmapImageFileTypePNG properties:@{}];
  NSData* tiff = bitmap.TIFFRepresentation;
  if (png == nil || tiff == nil) return;
  NSPasteboard* pasteboard = NSPasteboard.generalPasteboard;
  [pasteboard clearContents];
  [pasteboard setData:png forType:NSPasteboardTypePNG];
  [pasteboard setData:tiff forType:NSPasteboardTypeTIFF];
  [self showNotice:mac::PictureNotice::Copied detail:@""];
}

- (IBAction)savePicture:(nullable id)sender {
  (void)sender;
  NSData* pixels = _lcd.pixels;
  NSBitmapImageRep* bitmap = pixels != nil ? scaledBitmap(pixels, _scale) : nil;
  NSData* png = [bitmap representationUsingType:NSBitmapImageFileTypePNG properties:@{}];
  NSString* path = freePicturePath();
  NSError* error = nil;
  if (png == nil || path == nil) {
    [self showNotice:mac::PictureNotice::NotSaved detail:png == nil ? @"no picture yet" : @"no free file name"];
  } else if ([png writeToFile:path options:NSDataWritingAtomic error:&error]) {
    [self showNotice:mac::PictureNotice::Saved detail:path];
  } else {
    NSString* why = error.localizedDescription;
    [self showNotice:mac::PictureNotice::NotSaved detail:why != nil ? why : @""];
  }
}

- (void)showNotice:(mac::PictureNotice)notice detail:(NSString*)detail {
  NSString* words = LCDStringFromUtf8(mac::pictureNoticeText(notice, LCDUserLanguage()));
  _notice = [words stringByAppendingString:detail];
  const NSUInteger shown = ++_noticeCount;
  [self showTitle];
  __weak LCDWindowController* weakSelf = self;
  NSTimer* timer = [NSTimer timerWithTimeInterval:kNoticeSeconds
                                          repeats:NO
                                            block:^(NSTimer* fired) {
                                              (void)fired;
                                              [weakSelf endNotice:shown];
                                            }];
  [NSRunLoop.mainRunLoop addTimer:timer forMode:NSRunLoopCommonModes];
}

// Only the latest notice ends the notice; an earlier one's time is up already.
- (void)endNotice:(NSUInteger)shown {
  if (shown != _noticeCount) return;
  _notice = nil;
  [self showTitle];
}

- (void)refresh {
  NSMutableData* pixels = [_session takePixels];
  if (pixels != nil) [_lcd showPixels:pixels];
  NSString* serial = _session.serial;
  NSString* replayLabel = _session.replayLabel;
  if ([serial isEqualToString:_serial] && replayLabel == _replayLabel) return;
  _serial = [serial copy];
  _replayLabel = replayLabel;
  [self showTitle];
}

// The version and serial, then what replays and the latest notice.
- (NSString*)titleText {
  NSString* title = LCDStringFromUtf16(mac::windowTitle(LCDUtf16FromString(_version), LCDUtf16FromString(_serial)));
  if (_replayLabel != nil) title = [NSString stringWithFormat:@"%@ %@", title, _replayLabel];
  if (_notice != nil) title = [NSString stringWithFormat:@"%@ %@", title, _notice];
  return title;
}

- (void)showTitle {
  NSString* title = [self titleText];
  NSWindow* window = self.window;
  window.title = title;
  [NSApp changeWindowsItem:window title:title filename:NO];
  _chrome.titleLabel.stringValue = title;
}

@end
