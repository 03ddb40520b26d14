// GNUstep's AppKit plus what Apple's AppKit has and GNUstep lacks, declared from Apple's public
// documentation; only what the macOS code uses.
#pragma once

#include_next <AppKit/AppKit.h>
#import <Foundation/Foundation.h>

typedef NSString* NSPasteboardType;

@interface NSPasteboard (AppleAppKitDeclarations)
- (NSInteger)clearContents;
- (BOOL)writeObjects:(NSArray<id<NSPasteboardWriting>>*)objects;
@property(readonly, copy) NSArray<NSPasteboardItem*>* pasteboardItems;
@end

#if __MAC_OS_X_VERSION_MAX_ALLOWED >= __MAC_15_4  // from the macOS 15.4 SDK (Xcode 16.3)
typedef NS_ENUM(NSInteger, NSPasteboardAccessBehavior) {
  NSPasteboardAccessBehaviorDefault = 0,
  NSPasteboardAccessBehaviorAsk = 1,
  NSPasteboardAccessBehaviorAlwaysAllow = 2,
  NSPasteboardAccessBehaviorAlwaysDeny = 3,
} API_AVAILABLE(macos(15.4));

@interface NSPasteboard (AppleAppKitDeclarations15_4)
@property(readonly) NSPasteboardAccessBehavior accessBehavior API_AVAILABLE(macos(15.4));
@end
#endif

APPKIT_EXPORT NSNotificationName const NSWorkspaceDidActivateApplicationNotification;
APPKIT_EXPORT NSString* const NSWorkspaceApplicationKey;

@interface NSWindow (AppleAppKitDeclarations)
@property(strong) NSViewController* contentViewController;
@end
