// Declarations of the FlutterMacOS embedding interface the host and the plug-in use (binary
// messenger, plug-in registry and registrar, plug-in protocol, view controller, engine,
// application delegate), from Flutter's public documentation.
#pragma once

#import <AppKit/AppKit.h>
#import <Foundation/Foundation.h>

NS_ASSUME_NONNULL_BEGIN

typedef void (^FlutterBinaryReply)(NSData* _Nullable reply);
typedef void (^FlutterBinaryMessageHandler)(NSData* _Nullable message, FlutterBinaryReply reply);
typedef int64_t FlutterBinaryMessengerConnection;

@protocol FlutterBinaryMessenger <NSObject>
- (void)sendOnChannel:(NSString*)channel message:(NSData* _Nullable)message;
- (void)sendOnChannel:(NSString*)channel
              message:(NSData* _Nullable)message
          binaryReply:(FlutterBinaryReply _Nullable)callback;
- (FlutterBinaryMessengerConnection)setMessageHandlerOnChannel:(NSString*)channel
                                          binaryMessageHandler:
                                              (FlutterBinaryMessageHandler _Nullable)handler;
- (void)cleanupConnection:(FlutterBinaryMessengerConnection)connection;
@end

@class FlutterMethodCall;
@class FlutterMethodChannel;
typedef void (^FlutterResult)(id _Nullable result);

@protocol FlutterPluginRegistrar;

@protocol FlutterPlugin <NSObject>
+ (void)registerWithRegistrar:(id<FlutterPluginRegistrar>)registrar;
@optional
- (void)handleMethodCall:(FlutterMethodCall*)call result:(FlutterResult)result;
@end

@protocol FlutterPluginRegistrar <NSObject>
@property(nonatomic, readonly) id<FlutterBinaryMessenger> messenger;
- (void)addMethodCallDelegate:(id<FlutterPlugin>)delegate channel:(FlutterMethodChannel*)channel;
@end

@protocol FlutterPluginRegistry <NSObject>
- (id<FlutterPluginRegistrar>)registrarForPlugin:(NSString*)pluginKey;
@end

@interface FlutterEngine : NSObject
@property(nonatomic, nonnull, readonly) id<FlutterBinaryMessenger> binaryMessenger;
@end

@interface FlutterViewController : NSViewController <FlutterPluginRegistry>
- (instancetype)init;
@property(nonatomic, readonly) FlutterEngine* engine;
@end

@interface FlutterAppDelegate : NSObject <NSApplicationDelegate>
// Connected in the main interface file: the application menu the engine adds its items to, and
// the window hosting the Flutter view.
@property(weak, nonatomic) IBOutlet NSMenu* applicationMenu;
@property(weak, nonatomic) IBOutlet NSWindow* mainFlutterWindow;
@end

NS_ASSUME_NONNULL_END
