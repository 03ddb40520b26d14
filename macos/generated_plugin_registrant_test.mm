#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "channel/standard_codec.h"
#import "macos/GeneratedPluginRegistrant.h"
#import "macos/fake_binary_messenger.h"

// A registry and registrars as the embedding hands them out: each registrar has its key and
// the engine's messenger. They implement only what registration uses (the embedding's
// protocols ask for more), so they are handed over with a cast.
@interface FakeRegistrar : NSObject
@property(nonatomic, copy) NSString* key;
@property(nonatomic, strong) FakeBinaryMessenger* fakeMessenger;
@end

@implementation FakeRegistrar
- (id<FlutterBinaryMessenger>)messenger {
  return self.fakeMessenger;
}
@end

@interface FakeRegistry : NSObject
@property(nonatomic, strong) FakeBinaryMessenger* engineMessenger;
@property(nonatomic, strong) NSMutableArray<NSString*>* askedFor;
@end

@implementation FakeRegistry
- (id<FlutterPluginRegistrar>)registrarForPlugin:(NSString*)pluginKey {
  [self.askedFor addObject:pluginKey];
  FakeRegistrar* registrar = [[FakeRegistrar alloc] init];
  registrar.key = pluginKey;
  registrar.fakeMessenger = self.engineMessenger;
  return (id<FlutterPluginRegistrar>)registrar;
}
@end

// Stand-ins for the seven outside plug-ins, under the names they have at run time; two of them
// as plug-ins written in Swift appear, named after their module. Each records its registrar.
static NSMutableArray<NSString*>* registered;

static void recordRegistration(Class plugin, id<FlutterPluginRegistrar> registrar) {
  [registered addObject:[NSString stringWithFormat:@"%@<-%@", NSStringFromClass(plugin),
                                                   ((FakeRegistrar*)registrar).key]];
}

__attribute__((objc_runtime_name("emoji_picker_flutter.EmojiPickerFlutterPlugin")))
@interface FakeEmojiPicker : NSObject<FlutterPlugin>
@end
@implementation FakeEmojiPicker
+ (void)registerWithRegistrar:(id<FlutterPluginRegistrar>)registrar {
  recordRegistration(self, registrar);
}
@end

__attribute__((objc_runtime_name("FPPPackageInfoPlusPlugin")))
@interface FakePackageInfo : NSObject<FlutterPlugin>
@end
@implementation FakePackageInfo
+ (void)registerWithRegistrar:(id<FlutterPluginRegistrar>)registrar {
  recordRegistration(self, registrar);
}
@end

__attribute__((objc_runtime_name("ScreenRetrieverMacosPlugin")))
@interface FakeScreenRetriever : NSObject<FlutterPlugin>
@end
@implementation FakeScreenRetriever
+ (void)registerWithRegistrar:(id<FlutterPluginRegistrar>)registrar {
  recordRegistration(self, registrar);
}
@end

__attribute__((objc_runtime_name("SharedPreferencesPlugin")))
@interface FakeSharedPreferences : NSObject<FlutterPlugin>
@end
@implementation FakeSharedPreferences
+ (void)registerWithRegistrar:(id<FlutterPluginRegistrar>)registrar {
  recordRegistration(self, registrar);
}
@end

__attribute__((objc_runtime_name("TrayManagerPlugin")))
@interface FakeTrayManager : NSObject<FlutterPlugin>
@end
@implementation FakeTrayManager
+ (void)registerWithRegistrar:(id<FlutterPluginRegistrar>)registrar {
  recordRegistration(self, registrar);
}
@end

__attribute__((objc_runtime_name("UrlLauncherPlugin")))
@interface FakeUrlLauncher : NSObject<FlutterPlugin>
@end
@implementation FakeUrlLauncher
+ (void)registerWithRegistrar:(id<FlutterPluginRegistrar>)registrar {
  recordRegistration(self, registrar);
}
@end

__attribute__((objc_runtime_name("window_manager.WindowManagerPlugin")))
@interface FakeWindowManager : NSObject<FlutterPlugin>
@end
@implementation FakeWindowManager
+ (void)registerWithRegistrar:(id<FlutterPluginRegistrar>)registrar {
  recordRegistration(self, registrar);
}
@end

namespace {

std::vector<std::string> strings(NSArray<NSString*>* array) {
  std::vector<std::string> out;
  for (NSString* s in array) out.emplace_back(s.UTF8String);
  return out;
}

TEST(RegisterGeneratedPlugins, RegistersTheEightPluginsInOrderEachWithItsOwnRegistrar) {
  registered = [NSMutableArray array];
  FakeRegistry* registry = [[FakeRegistry alloc] init];
  registry.engineMessenger = [[FakeBinaryMessenger alloc] init];
  registry.askedFor = [NSMutableArray array];

  RegisterGeneratedPlugins((id<FlutterPluginRegistry>)registry);

  EXPECT_EQ(strings(registry.askedFor),
            (std::vector<std::string>{"EmojiPickerFlutterPlugin", "VellocPlugin",
                                      "FPPPackageInfoPlusPlugin", "ScreenRetrieverMacosPlugin",
                                      "SharedPreferencesPlugin", "TrayManagerPlugin",
                                      "UrlLauncherPlugin", "WindowManagerPlugin"}));
  EXPECT_EQ(strings(registered),
            (std::vector<std::string>{
                "emoji_picker_flutter.EmojiPickerFlutterPlugin<-EmojiPickerFlutterPlugin",
                "FPPPackageInfoPlusPlugin<-FPPPackageInfoPlusPlugin",
                "ScreenRetrieverMacosPlugin<-ScreenRetrieverMacosPlugin",
                "SharedPreferencesPlugin<-SharedPreferencesPlugin",
                "TrayManagerPlugin<-TrayManagerPlugin", "UrlLauncherPlugin<-UrlLauncherPlugin",
                "window_manager.WindowManagerPlugin<-WindowManagerPlugin"}));

  // The real input-source plug-in now serves its channel on the engine's messenger, through
  // the byte bridge: a bad language is refused with its channel error.
  FakeBinaryMessenger* engine = registry.engineMessenger;
  ASSERT_TRUE([engine hasHandlerOnChannel:@"velloc/input_source"]);
  channel::ValueMap arguments;
  arguments.set(channel::Value(std::string("lang")), channel::Value(std::string("DE")));
  const std::vector<uint8_t> call =
      channel::encodeMethodCall({"select", channel::Value(std::move(arguments))});
  id reply = [engine deliver:[NSData dataWithBytes:call.data() length:call.size()]
                   onChannel:@"velloc/input_source"];
  ASSERT_TRUE([reply isKindOfClass:[NSData class]]);
  const auto* bytes = static_cast<const uint8_t*>(((NSData*)reply).bytes);
  const auto envelope = channel::decodeEnvelope({bytes, ((NSData*)reply).length});
  ASSERT_TRUE(envelope.has_value());
  const auto* error = std::get_if<channel::ChannelError>(&*envelope);
  ASSERT_NE(error, nullptr);
  EXPECT_EQ(error->code, "bad_lang");
  EXPECT_EQ(error->message, "Expected lang=ru|en, got 'de'");
}

}  // namespace
