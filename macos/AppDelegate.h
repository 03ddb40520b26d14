#pragma once

#import <Cocoa/Cocoa.h>
#import <FlutterMacOS/FlutterMacOS.h>

@interface AppDelegate : FlutterAppDelegate
@end
