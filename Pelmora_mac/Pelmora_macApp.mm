#import "Pelmora_mac/Pelmora_macApp.h"

#import <dispatch/dispatch.h>

#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#import "Pelmora_mac/LCDSession.h"
#import "Pelmora_mac/LCDStrings.h"
#include "Pelmora_mac/ui/about_text.h"
#include "Pelmora_mac/ui/menu_layout.h"
#include "Pelmora_mac/ui/termination_gate.h"
#include "host/program_options.h"

namespace mac = pelmora::mac;

namespace {

constexpr NSTimeInterval kTickInterval = 1.0 / 60.0;

static_assert(static_cast<int>(mac::TerminateReply::Cancel) == NSTerminateCancel);
static_assert(static_cast<int>(mac::TerminateReply::Now) == NSTerminateNow);
static_assert(static_cast<int>(mac::TerminateReply::Later) == NSTerminateLater);

std::uint64_t nowMs() {
  const auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

}  // namespace

@implementation AppDelegate {
  mac::TerminationGate _gate;
  // Keeps the system from throttling the workers of hidden windows past
  // their devices' session expiry; held for the program's whole run.
  id<NSObject> _activity;
}

- (instancetype)init {
  self = [super init];
  if (self == nil) return nil;
  _windows = [NSMutableArray array];
  _retiring = [NSMutableArray array];
  return self;
}

- (BOOL)terminating {
  return _gate.terminating();
}

- (void)applicationDidFinishLaunching:(NSNotification*)notification {
  (void)notification;
  [self installMainMenu];
  _activity = [NSProcessInfo.processInfo beginActivityWithOptions:NSActivityUserInitiatedAllowingIdleSystemSleep
                                                            reason:@"LCD sessions keep their devices alive"];
  [self openWindow];

  // The block holds the delegate weakly: the run loop keeps the timer, and
  // the delegate must not be kept by it.
  __weak AppDelegate* weakSelf = self;
  _timer = [NSTimer timerWithTimeInterval:kTickInterval
                                  repeats:YES
                                    block:^(NSTimer* timer) {
                                      (void)timer;
                                      [weakSelf tick];
                                    }];
  // Common modes: it also fires while a menu is open, a window is dragged,
  // or a deferred answer to quitting is pending.
  [NSRunLoop.mainRunLoop addTimer:_timer forMode:NSRunLoopCommonModes];

  NSNotificationCenter* center = NSWorkspace.sharedWorkspace.notificationCenter;
  [center addObserver:self selector:@selector(powerChanged:) name:NSWorkspaceWillSleepNotification object:nil];
  [center addObserver:self selector:@selector(powerChanged:) name:NSWorkspaceDidWakeNotification object:nil];
  [NSApp activateIgnoringOtherApps:YES];
}

- (BOOL)applicationShouldTerminateAfterLastWindowClosed:(NSApplication*)sender {
  (void)sender;
  return NO;
}

- (void)installMainMenu {
  NSMenu* menuBar = [[NSMenu alloc] initWithTitle:@""];
  for (const mac::MenuSpec& spec : mac::mainMenu(LCDUserLanguage())) {
    NSMenu* menu = LCDMakeMenu(spec, self, nil);
    NSMenuItem* holder = [[NSMenuItem alloc] initWithTitle:menu.title action:nullptr keyEquivalent:@""];
    holder.submenu = menu;
    [menuBar addItem:holder];
    if (spec.windowsMenu) NSApp.windowsMenu = menu;
  }
  NSApp.mainMenu = menuBar;
}

- (IBAction)newWindow:(nullable id)sender {
  (void)sender;
  [self openWindow];
}

- (void)openWindow {
  if (!_gate.mayOpenWindow()) return;
  LCDSession* session = [[LCDSession alloc] init];
  if (session == nil) return;
  LCDWindowController* controller = [[LCDWindowController alloc] initWithSession:session];
  __weak AppDelegate* weakSelf = self;
  __weak LCDWindowController* weakController = controller;
  controller.onClose = ^{
    AppDelegate* delegate = weakSelf;
    LCDWindowController* closing = weakController;
    if (delegate != nil && closing != nil) [delegate retireWindow:closing];
  };
  [_windows addObject:controller];
  [controller showWindow:self];
  [controller.window makeKeyAndOrderFront:self];
}

- (void)retireWindow:(LCDWindowController*)controller {
  LCDSession* session = controller.session;
  [session stop];
  [_retiring addObject:session];
  // AppKit is still delivering the close notification to this controller
  // and using its window: let go of it on the next turn of the main queue.
  __weak AppDelegate* weakSelf = self;
  dispatch_async(dispatch_get_main_queue(), ^{
    AppDelegate* delegate = weakSelf;
    if (delegate == nil) return;
    [delegate.windows removeObjectIdenticalTo:controller];
    if (delegate.windows.count == 0) [NSApp terminate:nil];
  });
}

- (BOOL)allSessionsFinished {
  for (LCDWindowController* controller in _windows) {
    if (!controller.session.finished) return NO;
  }
  for (LCDSession* session in _retiring) {
    if (!session.finished) return NO;
  }
  return YES;
}

- (void)tick {
  NSAssert(NSThread.isMainThread, @"the refresh timer fires on the main thread");
  for (LCDWindowController* controller in _windows) [controller refresh];
  NSIndexSet* finished = [_retiring indexesOfObjectsPassingTest:^BOOL(LCDSession* session, NSUInteger index,
                                                                      BOOL* stop) {
    (void)index;
    (void)stop;
    return session.finished;
  }];
  [_retiring removeObjectsAtIndexes:finished];
  NSString* recordingFailure = [LCDSession takeRecordingFailure];
  if (recordingFailure != nil) [self tellRecordingFailure:recordingFailure];
  if (_gate.replyDue(nowMs(), [self allSessionsFinished])) {
    [_timer invalidate];
    _timer = nil;
    [NSApp replyToApplicationShouldTerminate:YES];
  }
}

- (NSApplicationTerminateReply)applicationShouldTerminate:(NSApplication*)sender {
  (void)sender;
  if (!_gate.beginTermination(nowMs())) return NSTerminateLater;
  for (LCDWindowController* controller in _windows) [controller.session stop];
  for (LCDSession* session in _retiring) [session stop];
  return static_cast<NSApplicationTerminateReply>(_gate.firstReply([self allSessionsFinished]));
}

- (void)applicationWillTerminate:(NSNotification*)notification {
  (void)notification;
  // Every worker has ended or had its grace; the recording's last tenth of
  // a second is still queued.
  [LCDSession finishRecording];
}

// In an alert: nobody reads the standard error of a program started from
// the Finder or with `open`.
- (void)tellRecordingFailure:(NSString*)failure {
  NSAlert* alert = [[NSAlert alloc] init];
  alert.messageText = @"Pelmora cannot record";
  alert.informativeText = failure;
  // Out of the timer's call: the alert's own loop runs the timer too.
  dispatch_async(dispatch_get_main_queue(), ^{
    [alert runModal];
  });
}

- (void)powerChanged:(NSNotification*)notification {
  (void)notification;
  for (LCDWindowController* controller in _windows) [controller.session resume];
}

- (void)about {
  NSString* credits = LCDStringFromUtf8(mac::aboutCredits());
  NSDictionary<NSAboutPanelOptionKey, id>* options = @{
    NSAboutPanelOptionApplicationName : LCDStringFromUtf8(mac::kApplicationName),
    NSAboutPanelOptionApplicationVersion : LCDApplicationVersion(),
    NSAboutPanelOptionVersion : @"",
    NSAboutPanelOptionCredits : [[NSAttributedString alloc] initWithString:credits],
  };
  [NSApp orderFrontStandardAboutPanelWithOptions:options];
}

@end

constexpr const char* kProgramName = "Pelmora_mac";
constexpr const char* kMacHelp =
    "\nCommand-1 ... Command-6 change the scale, Command-C copies the picture,\n"
    "Command-S saves it as PNG in Pictures (the title says where).\n";

constexpr int kCannotReplayExitCode = 1;
constexpr int kReplayDamagedExitCode = 4;

// On standard output, or error when `refused`, and, when nobody reads it
// (started from the Finder or with `open`, whose output goes nowhere), in an
// alert too.
void tell(const std::string& text, bool refused) {
  std::fputs(text.c_str(), refused ? stderr : stdout);
  std::fflush(refused ? stderr : stdout);
  if (isatty(refused ? STDERR_FILENO : STDOUT_FILENO)) return;
  NSApplication* application = [NSApplication sharedApplication];
  [application setActivationPolicy:NSApplicationActivationPolicyRegular];
  [application activateIgnoringOtherApps:YES];
  NSAlert* alert = [[NSAlert alloc] init];
  alert.messageText = refused ? @"Pelmora cannot start" : @"Pelmora";
  alert.informativeText = LCDStringFromUtf8(text);
  [alert runModal];
}

// --help, --version and a command line not understood.
int answerCommandLine(const pelmora::host::ProgramOptions& options) {
  using Action = pelmora::host::ProgramAction;
  const bool refused = options.action == Action::Error;
  const std::string program = kProgramName;
  const std::string text = options.action == Action::Help      ? pelmora::host::programHelpText(program) + kMacHelp
                           : options.action == Action::Version ? pelmora::host::programVersionText() + "\n"
                                                               : program + ": " + options.error + " (try '" + program +
                                                                     " --help')\n";
  tell(text, refused);
  return refused ? pelmora::host::kUsageExitCode : 0;
}

// `--replay FILE`: false, with the exit status, when the file cannot be replayed.
bool loadReplay(const std::string& path, int& exitCode) {
  BOOL damaged = NO;
  NSString* refusal = [LCDSession replayFile:LCDStringFromUtf8(path) damaged:&damaged];
  if (refusal == nil) return true;
  tell(std::string(kProgramName) + ": " + refusal.UTF8String + "\n", true);
  exitCode = damaged ? kReplayDamagedExitCode : kCannotReplayExitCode;
  return false;
}

int main(int argc, const char* argv[]) {
  @autoreleasepool {
    const std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
    const pelmora::host::ProgramOptions options = pelmora::host::parseProgramOptions(args);
    if (options.action != pelmora::host::ProgramAction::Run) return answerCommandLine(options);
    LCDWindowController.requestedScale = options.scale;
    LCDSession.demo = options.demo;
    int exitCode = 0;
    if (!options.replayPath.empty() && !loadReplay(options.replayPath, exitCode)) return exitCode;
    if (!options.recordPath.empty()) [LCDSession recordNextSessionTo:LCDStringFromUtf8(options.recordPath)];
    NSApplication* application = [NSApplication sharedApplication];
    // The application holds its delegate weakly; this reference keeps it for
    // the whole run, which ARC would otherwise end after its last use.
    NS_VALID_UNTIL_END_OF_SCOPE AppDelegate* delegate = [[AppDelegate alloc] init];
    application.delegate = delegate;
    [application setActivationPolicy:NSApplicationActivationPolicyRegular];
    [application run];
  }
  return 0;
}
