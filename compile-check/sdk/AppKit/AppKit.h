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

APPKIT_EXPORT NSNotificationName const NSWorkspaceDidActivateApplicationNotification;
APPKIT_EXPORT NSString* const NSWorkspaceApplicationKey;

@interface NSWindow (AppleAppKitDeclarations)
@property(strong) NSViewController* contentViewController;
@end
