// Test support: an engine messenger that records what the native side does with it and lets a
// test play the Flutter side.
#pragma once

#import <FlutterMacOS/FlutterMacOS.h>

NS_ASSUME_NONNULL_BEGIN

@interface FakeBinaryMessenger : NSObject <FlutterBinaryMessenger>

// Every send, in order: channel, message (NSNull for nil), and whether a reply was asked for.
@property(nonatomic, readonly) NSMutableArray<NSString*>* sentChannels;
@property(nonatomic, readonly) NSMutableArray* sentMessages;
@property(nonatomic, readonly) NSMutableArray<NSNumber*>* sentWithReply;
// What the Flutter side answers to a send that asks for a reply (nil: zero bytes).
@property(nonatomic, copy, nullable) NSData* answer;

// The Flutter side sends `message` on `channel`; returns the reply the handler gave before
// returning (NSNull for nil), or nil when there is no handler or it has not answered yet.
- (nullable id)deliver:(nullable NSData*)message onChannel:(NSString*)channel;
- (BOOL)hasHandlerOnChannel:(NSString*)channel;

@end

NS_ASSUME_NONNULL_END
