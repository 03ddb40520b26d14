#include "runner/generated_plugin_registrant.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "channel/plugin_registrar.h"
#include "testing/channel_harness.h"

namespace tandrel {
namespace {

using channel::Value;
using channel::ValueMap;
using channel_test::MethodReply;

TEST(GeneratedPluginsTest, RegistrarsAreAskedForInOrderWithTheInputSourcePluginSecond) {
  channel_test::ChannelHarness harness;
  channel::PluginRegistry registry(harness.messenger());

  registerGeneratedPlugins(registry);

  EXPECT_EQ(registry.registrarNames(),
            (std::vector<std::string>{"EmojiPickerFlutterPlugin", "VellocPlugin",
                                      "FPPPackageInfoPlusPlugin", "ScreenRetrieverMacosPlugin",
                                      "SharedPreferencesPlugin", "TrayManagerPlugin",
                                      "UrlLauncherPlugin", "WindowManagerPlugin"}));
  // Only the plug-in of this system has a native side here; its registrar keeps it.
  for (const GeneratedPlugin& plugin : kGeneratedPlugins) {
    const size_t kept =
        registry.registrarForPlugin(std::string(plugin.registrarName)).plugins().size();
    EXPECT_EQ(kept, plugin.registrarName == "VellocPlugin" ? 1u : 0u) << plugin.registrarName;
  }
}

TEST(GeneratedPluginsTest, TheInputSourceChannelAnswersThroughItsOwnContract) {
  channel_test::ChannelHarness harness;
  channel::PluginRegistry registry(harness.messenger());
  registerGeneratedPlugins(registry);

  EXPECT_EQ(harness.call("velloc/input_source", "select", ValueMap{{"lang", "DE"}}),
            MethodReply::Error("bad_lang", "Expected lang=ru|en, got 'de'"));
  EXPECT_EQ(harness.call("velloc/input_source", "Select", ValueMap{{"lang", "en"}}),
            MethodReply::NotImplemented());
}

}  // namespace
}  // namespace tandrel
