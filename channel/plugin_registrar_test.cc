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

TEST(PluginRegistry, KeepsRegistrarsInOrderAndOnePerName) {
  ChannelHarness h;
  PluginRegistry registry(h.messenger());
  PluginRegistrar& a = registry.registrarForPlugin("AlphaPlugin");
  registry.registrarForPlugin("VellocPlugin");
  EXPECT_EQ(&registry.registrarForPlugin("AlphaPlugin"), &a);
  EXPECT_EQ(&a.messenger(), &h.messenger());
  EXPECT_EQ(registry.registrarNames(), (std::vector<std::string>{"AlphaPlugin", "VellocPlugin"}));
}

TEST(PluginRegistrar, DelegateReceivesCallsAndIsKeptAlive) {
  ChannelHarness h;
  PluginRegistry registry(h.messenger());
  std::weak_ptr<Plugin> weak;
  {
    auto plugin = std::make_shared<Greeter>();
    weak = plugin;
    PluginRegistrar& r = registry.registrarForPlugin("Greeter");
    r.addMethodCallDelegate(plugin, std::make_unique<MethodChannel>(r.messenger(), "test/greet"));
  }
  EXPECT_FALSE(weak.expired());
  EXPECT_EQ(h.call("test/greet", "greet"), MethodReply::Success("hello"));
  EXPECT_EQ(h.call("test/greet", "other"), MethodReply::NotImplemented());
}

}  // namespace
}  // namespace channel
