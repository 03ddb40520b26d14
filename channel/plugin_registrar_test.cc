#include "channel/plugin_registrar.h"

#include <gtest/gtest.h>

#include "testing/channel_harness.h"

namespace channel {
namespace {

using channel_test::ChannelHarness;
using channel_test::MethodReply;

class Greeter : public Plugin {
 public:
  void handleMethodCall(const MethodCall& call, std::unique_ptr<MethodResult> result) override {
    if (call.method == "greet") {
      result->success("hello");
    } else {
      Plugin::handleMethodCall(call, std::move(result));
    }
  }
};

// One registrar per plug-in name, in the order first asked for; a delegate added to one receives
// its channel's calls and is kept alive by it.
TEST(PluginRegistry, OneRegistrarPerNameWhoseDelegatesAreKeptAndCalled) {
  ChannelHarness h;
  PluginRegistry registry(h.messenger());
  PluginRegistrar& a = registry.registrarForPlugin("AlphaPlugin");
  registry.registrarForPlugin("VellocPlugin");
  EXPECT_EQ(&registry.registrarForPlugin("AlphaPlugin"), &a);
  EXPECT_EQ(&a.messenger(), &h.messenger());
  EXPECT_EQ(registry.registrarNames(), (std::vector<std::string>{"AlphaPlugin", "VellocPlugin"}));

  std::weak_ptr<Plugin> weak;
  {
    auto plugin = std::make_shared<Greeter>();
    weak = plugin;
    a.addMethodCallDelegate(plugin, std::make_unique<MethodChannel>(a.messenger(), "test/greet"));
  }
  EXPECT_FALSE(weak.expired());
  EXPECT_EQ(h.call("test/greet", "greet"), MethodReply::Success("hello"));
  EXPECT_EQ(h.call("test/greet", "other"), MethodReply::NotImplemented());
}

}  // namespace
}  // namespace channel
