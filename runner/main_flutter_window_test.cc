#include "runner/main_flutter_window.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runner/tandrel_plugin.h"
#include "testing/channel_harness.h"

namespace tandrel {
namespace {

using channel_test::MethodReply;

// Records the start-up operations and models the one side effect that matters: installing
// the content view controller resizes the window to the Flutter view.
class RecordingHost : public MainWindowHost {
 public:
  explicit RecordingHost(channel::LocalMessenger& messenger) : messenger_(messenger) {}

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
    hostChannelsBeforePlugins = messenger_.hasHandler("tandrel/automation");
  }
  channel::BinaryMessenger& engineMessenger() override {
    calls.push_back("engineMessenger");
    return messenger_;
  }
  void superAwakeFromNib() override {
    calls.push_back("superAwakeFromNib");
    for (std::string_view name : TandrelPlugin::kChannelNames) {
      allHostChannelsBeforeSuper =
          allHostChannelsBeforeSuper && messenger_.hasHandler(std::string(name));
    }
  }
  void orderOut() override {
    calls.push_back("orderOut");
    visible = false;
  }

  std::vector<std::string> calls;
  Frame current{100, 200, 640, 480};
  bool visible = true;
  bool hostChannelsBeforePlugins = true;
  bool allHostChannelsBeforeSuper = true;

 private:
  channel::LocalMessenger& messenger_;
};

TEST(AwakeFromNibTest, RunsTheStepsInOrderKeepsTheFrameAndHidesTheWindow) {
  channel_test::ChannelHarness harness;
  RecordingHost host(harness.messenger());

  awakeFromNib(host);

  EXPECT_EQ(host.calls, (std::vector<std::string>{"createFlutterViewController", "frame",
                                                  "setContentViewController", "setFrame(display)",
                                                  "registerGeneratedPlugins", "engineMessenger",
                                                  "superAwakeFromNib", "orderOut"}));
  // The view controller's resize is undone: the window keeps its frame.
  EXPECT_EQ(host.current, (Frame{100, 200, 640, 480}));
  EXPECT_FALSE(host.visible);
  // Plug-ins first, then the host channels, all before the superclass and the hiding.
  EXPECT_FALSE(host.hostChannelsBeforePlugins);
  EXPECT_TRUE(host.allHostChannelsBeforeSuper);
}

TEST(AwakeFromNibTest, EveryHostChannelAnswersWhileTheWindowIsHidden) {
  channel_test::ChannelHarness harness;
  RecordingHost host(harness.messenger());
  awakeFromNib(host);
  closeWindow(host);
  ASSERT_FALSE(host.visible);

  EXPECT_TRUE(harness.call("tandrel/permissions", "isSandboxed").isSuccess());
  EXPECT_TRUE(harness.call("tandrel/automation", "clipboardChangeCount").isSuccess());
  EXPECT_TRUE(harness.call("tandrel/autostart", "isEnabled").isSuccess());
  // Only an installed stream handler answers a cancel without a listen this way; a channel
  // without a handler would give the zero-byte reply.
  for (const char* stream : {"tandrel/key_events", "tandrel/permission_events"}) {
    EXPECT_EQ(harness.cancel(stream), MethodReply::Error("error", "No active stream to cancel"))
        << stream;
  }
}

TEST(CloseWindowTest, OnlyHides) {
  channel_test::ChannelHarness harness;
  RecordingHost host(harness.messenger());
  closeWindow(host);
  EXPECT_EQ(host.calls, std::vector<std::string>{"orderOut"});
}

}  // namespace
}  // namespace tandrel
