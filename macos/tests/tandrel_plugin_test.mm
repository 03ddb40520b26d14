#include "runner/tandrel_plugin.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "channel/standard_codec.h"
#import "macos/tandrel/Sources/tandrel/include/tandrel/TandrelPlugin.h"
#import "macos/tests/fake_binary_messenger.h"

// A registrar as the embedding hands it out, with only what registration uses (the protocol
// asks for more), so it is handed over with a cast.
@interface FakeRegistrar : NSObject
@property(nonatomic, strong) FakeBinaryMessenger* fakeMessenger;
@end

@implementation FakeRegistrar
- (id<FlutterBinaryMessenger>)messenger {
  return self.fakeMessenger;
}
@end

namespace {

// What the generated registrant does for this package: the plug-in class registers on the
// engine's registrar, and every channel then answers through the byte bridge.
TEST(TandrelPluginClass, RegistrationServesEveryChannelOnTheEnginesMessenger) {
  FakeRegistrar* registrar = [[FakeRegistrar alloc] init];
  registrar.fakeMessenger = [[FakeBinaryMessenger alloc] init];

  [TandrelPlugin registerWithRegistrar:(id<FlutterPluginRegistrar>)registrar];

  FakeBinaryMessenger* engine = registrar.fakeMessenger;
  EXPECT_TRUE([engine hasHandlerOnChannel:@"velloc/input_source"]);
  for (std::string_view name : tandrel::TandrelPlugin::kChannelNames) {
    EXPECT_TRUE([engine hasHandlerOnChannel:[[NSString alloc] initWithBytes:name.data()
                                                                     length:name.size()
                                                                   encoding:NSUTF8StringEncoding]])
        << name;
  }
  // A bad language is refused with the input-source plug-in's channel error.
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
