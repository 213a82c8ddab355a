#pragma once
// The application's delegate: starts the program, builds the menu bar, owns
// every LCD window, drives them all from one 60 Hz timer, passes sleep and
// wake on to every session, and lets the program end only once every
// session's worker has finished, or once a worker stuck on a device has had
// its grace period.
#import <AppKit/AppKit.h>

#import "Pelmora_mac/ContentView.h"
#import "Pelmora_mac/LCDSession.h"

NS_ASSUME_NONNULL_BEGIN

@interface AppDelegate : NSObject <NSApplicationDelegate, LCDApplicationActions>
// The open LCD windows, in the order they were opened.
@property (nonatomic, readonly, strong) NSMutableArray<LCDWindowController*>* windows;
// Sessions of closed windows whose workers have not finished yet.
@property (nonatomic, readonly, strong) NSMutableArray<LCDSession*>* retiring;
@property (nonatomic, readonly, strong, nullable) NSTimer* timer;
// The program is ending; no new window opens.
@property (nonatomic, readonly) BOOL terminating;

- (instancetype)init NS_DESIGNATED_INITIALIZER;
- (IBAction)newWindow:(nullable id)sender;
- (void)about;
// Sleep and wake alike: every open window's session reconnects.
- (void)powerChanged:(NSNotification*)notification;
@end

NS_ASSUME_NONNULL_END
