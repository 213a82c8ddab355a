#pragma once
// One LCD's way into the shared core. Creating a session starts a worker
// thread that finds a device and keeps a session with it; the user interface
// polls the newest frame and the serial from the main thread and asks the
// worker to stop or to resume. No call waits for the worker; the worker ends
// on its own after stop, also when the session was released first.
#import <Foundation/Foundation.h>

NS_ASSUME_NONNULL_BEGIN

@interface LCDSession : NSObject

// Sessions created from now on run the simulated synthesizer of `--demo`
// instead of looking for devices.
@property (class, nonatomic) BOOL demo;

// `--replay FILE`: reads the trace once and keeps it for the program's
// whole run; sessions created from then on replay it at its recorded pace
// instead of looking for devices. Nil when it will replay, else why not
// (`damaged` says whether the file is damaged).
+ (nullable NSString*)replayFile:(NSString*)path damaged:(BOOL*)damaged;

// Nil when no worker thread can be started.
- (nullable instancetype)init NS_DESIGNATED_INITIALIZER;

// `--record FILE`: the worker of the next session created writes a trace to
// the file (one file holds one worker's calls; later windows are not
// recorded).
+ (void)recordNextSessionTo:(NSString*)path;
// Why the recording failed (the file could not be made, or a write failed
// later), once; nil before and after.
+ (nullable NSString*)takeRecordingFailure;
// At the program's end: writes what the recording still holds, waiting at
// most a few seconds for a stalled disk; later calls are not recorded.
+ (void)finishRecording;

// Asks the worker to end; it closes its device session and finishes within
// moments. Calling it again changes nothing.
- (void)stop;
// Tells the worker the machine slept or woke, so its session reconnects.
- (void)resume;

// The worker thread has ended; nothing will change any more.
@property (nonatomic, readonly) BOOL finished;
// While a trace replays, what the title says of it after the serial, in
// the menus' language, then also how it ended; the same object until that
// changes. Nil when no trace replays.
@property (nonatomic, readonly, copy, nullable) NSString* replayLabel;
// Serial number of the device in use; empty when none.
@property (nonatomic, readonly, copy) NSString* serial;
// "frames", "states", "images", "sessions", "heartbeats", "failures"
// (unsigned 64-bit, filled in once the worker has finished) and "modes",
// "languages", "debugStates" (unsigned 32-bit bit sets, filled in as frames
// are shown).
@property (nonatomic, readonly, copy) NSDictionary<NSString*, NSNumber*>* statistics;

// The frame delivered since the last call: 320 x 170 pixels of red, green,
// blue and 255, rows of 1,280 bytes. Nil when none arrived.
- (nullable NSMutableData*)takePixels;

// Runs `handler` on the main queue soon after a frame or a serial arrived:
// arrivals while one run is still queued share it, so the main queue never
// holds more than one. Nil: none. The handler takes what arrived itself.
- (void)setArrivalHandler:(nullable void (^)(void))handler;

@end

NS_ASSUME_NONNULL_END
