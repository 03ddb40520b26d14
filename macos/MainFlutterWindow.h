#pragma once

#import <Cocoa/Cocoa.h>

// The window hosting the Flutter view, created by the main interface file.
@interface MainFlutterWindow : NSWindow
@end
