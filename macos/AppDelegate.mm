#import "macos/AppDelegate.h"

@implementation AppDelegate

// The application keeps running with no window on screen: the Flutter side shows the window
// when it needs it.
- (BOOL)applicationShouldTerminateAfterLastWindowClosed:(NSApplication*)sender {
  return NO;
}

- (BOOL)applicationSupportsSecureRestorableState:(NSApplication*)app {
  return YES;
}

@end
