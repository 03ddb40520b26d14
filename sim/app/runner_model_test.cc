#include "sim/app/runner_model.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "channel/plugin_registrar.h"
#include "runner/tandrel_plugin.h"
#include "sim/app/plugin_registrant_model.h"
#include "testing/channel_harness.h"

namespace sim::app {
namespace {

using channel_test::MethodReply;

// Records the start-up operations and models the one side effect that matters: installing
// the content view controller resizes the window to the Flutter view.
class RecordingHost : public MainWindowHost {
 public:
  explicit RecordingHost(channel::LocalMessenger& messenger)
      : registry(messenger), messenger_(messenger) {}

  void createFlutterViewController() override { calls.push_back("createFlutterViewController"); }
  Frame frame() override {
    calls.push_back("frame");
    return current;
  }
  void setContentViewController() override {
    calls.push_back("setContentViewController");
    current.width = 1280;
    current.height = 720;
  }
  void setFrame(Frame f, bool display) override {
    calls.push_back(display ? "setFrame(display)" : "setFrame");
    current = f;
  }
  void registerGeneratedPlugins() override {
    calls.push_back("registerGeneratedPlugins");
    app::registerGeneratedPlugins(registry);
  }
  void superAwakeFromNib() override {
    calls.push_back("superAwakeFromNib");
    everyChannelBeforeSuper = everyChannelInstalled();
  }
  void orderOut() override {
    calls.push_back("orderOut");
    everyChannelBeforeHiding = everyChannelInstalled();
    visible = false;
  }

  std::vector<std::string> calls;
  Frame current{100, 200, 640, 480};
  bool visible = true;
  bool everyChannelBeforeSuper = false;
  bool everyChannelBeforeHiding = false;
  channel::PluginRegistry registry;

 private:
  bool everyChannelInstalled() const {
    bool all = messenger_.hasHandler("velloc/input_source");
    for (std::string_view name : tandrel::TandrelPlugin::kChannelNames) {
      all = all && messenger_.hasHandler(std::string(name));
    }
    return all;
  }

  channel::LocalMessenger& messenger_;
};

// Start-up runs its steps in order, keeps the window's frame and hides the window, with every
// channel installed first; closing the window only hides it.
TEST(RunnerModelTest, StartUpInstallsEveryChannelAndClosingOnlyHides) {
  channel_test::ChannelHarness harness;
  RecordingHost host(harness.messenger());
  awakeFromNib(host);
  EXPECT_EQ(host.calls,
            (std::vector<std::string>{
                "createFlutterViewController", "frame", "setContentViewController",
                "setFrame(display)", "registerGeneratedPlugins", "superAwakeFromNib", "orderOut"}));
  // The view controller's resize is undone: the window keeps its frame.
  EXPECT_EQ(host.current, (Frame{100, 200, 640, 480}));
  EXPECT_FALSE(host.visible);
  EXPECT_TRUE(host.everyChannelBeforeSuper);
  EXPECT_TRUE(host.everyChannelBeforeHiding);

  // Only this package has a native side here; its registrar keeps the input-source plug-in.
  for (const GeneratedPlugin& plugin : kGeneratedPlugins) {
    const size_t kept =
        host.registry.registrarForPlugin(std::string(plugin.registrarName)).plugins().size();
    EXPECT_EQ(kept, plugin.registrarName == "TandrelPlugin" ? 1u : 0u) << plugin.registrarName;
  }

  host.calls.clear();
  host.visible = true;
  closeWindow(host);
  EXPECT_EQ(host.calls, std::vector<std::string>{"orderOut"});
  EXPECT_FALSE(host.visible);
}

}  // namespace
}  // namespace sim::app
