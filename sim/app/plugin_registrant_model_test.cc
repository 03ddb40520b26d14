#include "sim/app/plugin_registrant_model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "channel/plugin_registrar.h"
#include "testing/channel_harness.h"

namespace sim::app {
namespace {

using channel::Value;
using channel::ValueMap;
using channel_test::MethodReply;

TEST(GeneratedPluginsTest, RegistrarsAreAskedForSortedByPackageAndTheInputSourceChannelAnswers) {
  channel_test::ChannelHarness harness;
  channel::PluginRegistry registry(harness.messenger());

  registerGeneratedPlugins(registry);

  EXPECT_EQ(registry.registrarNames(),
            (std::vector<std::string>{"EmojiPickerFlutterPlugin", "FPPPackageInfoPlusPlugin",
                                      "ScreenRetrieverMacosPlugin", "SharedPreferencesPlugin",
                                      "TandrelPlugin", "TrayManagerPlugin", "UrlLauncherPlugin",
                                      "WindowManagerPlugin"}));
  for (size_t i = 1; i < kGeneratedPlugins.size(); ++i) {
    EXPECT_LT(kGeneratedPlugins[i - 1].package, kGeneratedPlugins[i].package);
  }
  // Only this package has a native side here; its registrar keeps the input-source plug-in.
  for (const GeneratedPlugin& plugin : kGeneratedPlugins) {
    const size_t kept =
        registry.registrarForPlugin(std::string(plugin.registrarName)).plugins().size();
    EXPECT_EQ(kept, plugin.registrarName == "TandrelPlugin" ? 1u : 0u) << plugin.registrarName;
  }
  // The input-source channel answers through its own contract.
  EXPECT_EQ(harness.call("velloc/input_source", "select", ValueMap{{"lang", "DE"}}),
            MethodReply::Error("bad_lang", "Expected lang=ru|en, got 'de'"));
  EXPECT_EQ(harness.call("velloc/input_source", "Select", ValueMap{{"lang", "en"}}),
            MethodReply::NotImplemented());
}

}  // namespace
}  // namespace sim::app
