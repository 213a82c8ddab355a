/* The part of Core Graphics the application uses; Debian's GNUstep has
   none. Declarations only, with Apple's names and argument types, so that
   a wrong argument or a leaked object shows up as it would on a Mac. */
#pragma once
#include <gnustep_checked_version.h>

#include <CoreFoundation/CoreFoundation.h>
#include <Foundation/Foundation.h>
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* https://developer.apple.com/documentation/corefoundation/cgpoint (and
   CGSize, CGRect): the same layout as Foundation's NSPoint, NSSize, NSRect. */
typedef struct CGPoint {
  CGFloat x;
  CGFloat y;
} CGPoint;
typedef struct CGSize {
  CGFloat width;
  CGFloat height;
} CGSize;
typedef struct CGRect {
  CGPoint origin;
  CGSize size;
} CGRect;

/* https://developer.apple.com/documentation/coregraphics/cgcontextref is
   declared by GNUstep's NSGraphicsContext.h as `struct CGContext *`. */
/* https://developer.apple.com/documentation/coregraphics/cgimageref */
typedef struct CGImage* CGImageRef;
/* https://developer.apple.com/documentation/coregraphics/cgcolorspaceref */
typedef struct CGColorSpace* CGColorSpaceRef;
/* https://developer.apple.com/documentation/coregraphics/cgdataproviderref */
typedef struct CGDataProvider* CGDataProviderRef;

/* https://developer.apple.com/documentation/coregraphics/cgbitmapinfo */
typedef uint32_t CGBitmapInfo;
/* https://developer.apple.com/documentation/coregraphics/cgimagealphainfo/kcgimagealphalast */
enum { kCGImageAlphaLast = 3 };
/* https://developer.apple.com/documentation/coregraphics/cgcolorrenderingintent */
typedef int32_t CGColorRenderingIntent;
enum { kCGRenderingIntentDefault = 0 };
/* https://developer.apple.com/documentation/coregraphics/cginterpolationquality */
typedef int32_t CGInterpolationQuality;
enum { kCGInterpolationNone = 1 };

/* https://developer.apple.com/documentation/coregraphics/kcgcolorspacesrgb */
extern const CFStringRef kCGColorSpaceSRGB;

/* https://developer.apple.com/documentation/coregraphics/1408288-cgdataprovidercreatewithcfdata */
CGDataProviderRef CGDataProviderCreateWithCFData(CFDataRef data);
/* https://developer.apple.com/documentation/coregraphics/1396398-cgdataproviderrelease */
void CGDataProviderRelease(CGDataProviderRef provider);
/* https://developer.apple.com/documentation/coregraphics/1408921-cgcolorspacecreatewithname */
CGColorSpaceRef CGColorSpaceCreateWithName(CFStringRef name);
/* https://developer.apple.com/documentation/coregraphics/1408855-cgcolorspacerelease */
void CGColorSpaceRelease(CGColorSpaceRef space);
/* https://developer.apple.com/documentation/coregraphics/1455149-cgimagecreate */
CGImageRef CGImageCreate(size_t width, size_t height, size_t bitsPerComponent, size_t bitsPerPixel,
                         size_t bytesPerRow, CGColorSpaceRef space, CGBitmapInfo bitmapInfo,
                         CGDataProviderRef provider, const CGFloat* decode, bool shouldInterpolate,
                         CGColorRenderingIntent intent);
/* https://developer.apple.com/documentation/coregraphics/1556742-cgimagerelease */
void CGImageRelease(CGImageRef image);

/* https://developer.apple.com/documentation/coregraphics/cgwindowlevel */
typedef int32_t CGWindowLevel;
/* https://developer.apple.com/documentation/coregraphics/cgwindowlevelkey
   (in the order of Apple's documentation, from 0) */
typedef NS_ENUM(int32_t, CGWindowLevelKey) {
  kCGBaseWindowLevelKey,
  kCGMinimumWindowLevelKey,
  kCGDesktopWindowLevelKey,
  kCGBackstopMenuLevelKey,
  kCGNormalWindowLevelKey,
  kCGFloatingWindowLevelKey,
  kCGTornOffMenuWindowLevelKey,
  kCGDockWindowLevelKey,
  kCGMainMenuWindowLevelKey,
  kCGStatusWindowLevelKey,
  kCGModalPanelWindowLevelKey,
  kCGPopUpMenuWindowLevelKey,
  kCGDraggingWindowLevelKey,
  kCGScreenSaverWindowLevelKey,
  kCGMaximumWindowLevelKey,
  kCGOverlayWindowLevelKey,
  kCGHelpWindowLevelKey,
  kCGUtilityWindowLevelKey,
  kCGDesktopIconWindowLevelKey,
  kCGCursorWindowLevelKey,
  kCGAssistiveTechHighWindowLevelKey,
  kCGNumberOfWindowLevelKeys
};
/* https://developer.apple.com/documentation/coregraphics/1454084-cgwindowlevelforkey:
   the levels are looked up at run time, so none is a constant expression. */
CGWindowLevel CGWindowLevelForKey(CGWindowLevelKey key);
/* https://developer.apple.com/documentation/coregraphics/kcgnormalwindowlevel (and the others) */
#define kCGNormalWindowLevel CGWindowLevelForKey(kCGNormalWindowLevelKey)
#define kCGFloatingWindowLevel CGWindowLevelForKey(kCGFloatingWindowLevelKey)
#define kCGTornOffMenuWindowLevel CGWindowLevelForKey(kCGTornOffMenuWindowLevelKey)
#define kCGMainMenuWindowLevel CGWindowLevelForKey(kCGMainMenuWindowLevelKey)
#define kCGStatusWindowLevel CGWindowLevelForKey(kCGStatusWindowLevelKey)
#define kCGModalPanelWindowLevel CGWindowLevelForKey(kCGModalPanelWindowLevelKey)
#define kCGPopUpMenuWindowLevel CGWindowLevelForKey(kCGPopUpMenuWindowLevelKey)
#define kCGScreenSaverWindowLevel CGWindowLevelForKey(kCGScreenSaverWindowLevelKey)
#define kCGDockWindowLevel CGWindowLevelForKey(kCGDockWindowLevelKey)

/* https://developer.apple.com/documentation/coregraphics/1456156-cgcontextsavegstate */
void CGContextSaveGState(CGContextRef c);
/* https://developer.apple.com/documentation/coregraphics/1456132-cgcontextrestoregstate */
void CGContextRestoreGState(CGContextRef c);
/* https://developer.apple.com/documentation/coregraphics/1455656-cgcontextsetinterpolationquality */
void CGContextSetInterpolationQuality(CGContextRef c, CGInterpolationQuality quality);
/* https://developer.apple.com/documentation/coregraphics/1454659-cgcontexttranslatectm */
void CGContextTranslateCTM(CGContextRef c, CGFloat tx, CGFloat ty);
/* https://developer.apple.com/documentation/coregraphics/1455645-cgcontextscalectm */
void CGContextScaleCTM(CGContextRef c, CGFloat sx, CGFloat sy);
/* https://developer.apple.com/documentation/coregraphics/1454845-cgcontextdrawimage */
void CGContextDrawImage(CGContextRef c, CGRect rect, CGImageRef image);

#ifdef __cplusplus
}
#endif
