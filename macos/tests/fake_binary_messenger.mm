#import "macos/tests/fake_binary_messenger.h"

@implementation FakeBinaryMessenger {
  NSMutableDictionary<NSString*, FlutterBinaryMessageHandler>* _handlers;
  FlutterBinaryMessengerConnection _lastConnection;
}

- (instancetype)init {
  if ((self = [super init])) {
    _sentChannels = [NSMutableArray array];
    _sentMessages = [NSMutableArray array];
    _sentWithReply = [NSMutableArray array];
    _handlers = [NSMutableDictionary dictionary];
  }
  return self;
}

- (void)sendOnChannel:(NSString*)channel message:(NSData*)message {
  [_sentChannels addObject:channel];
  [_sentMessages addObject:message != nil ? message : [NSNull null]];
  [_sentWithReply addObject:@NO];
}

- (void)sendOnChannel:(NSString*)channel
              message:(NSData*)message
          binaryReply:(FlutterBinaryReply)callback {
  [_sentChannels addObject:channel];
  [_sentMessages addObject:message != nil ? message : [NSNull null]];
  [_sentWithReply addObject:@(callback != nil)];
  if (callback != nil) callback(self.answer);
}

- (FlutterBinaryMessengerConnection)setMessageHandlerOnChannel:(NSString*)channel
                                          binaryMessageHandler:
                                              (FlutterBinaryMessageHandler)handler {
  if (handler == nil) {
    [_handlers removeObjectForKey:channel];
  } else {
    [_handlers setObject:handler forKey:channel];
  }
  return ++_lastConnection;
}

- (void)cleanupConnection:(FlutterBinaryMessengerConnection)connection {
}

- (id)deliver:(NSData*)message onChannel:(NSString*)channel {
  FlutterBinaryMessageHandler handler = [_handlers objectForKey:channel];
  if (handler == nil) return nil;
  __block id reply = nil;
  handler(message, ^(NSData* answer) {
    reply = answer != nil ? answer : [NSNull null];
  });
  return reply;
}

- (BOOL)hasHandlerOnChannel:(NSString*)channel {
  return [_handlers objectForKey:channel] != nil;
}

@end
