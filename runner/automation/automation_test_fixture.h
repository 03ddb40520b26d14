#pragma once
// A fresh simulated system with an AutomationHandler behind "tandrel/automation", driven through
// the channel bytes as the Flutter side would.

#include <gtest/gtest.h>

#include "channel/method_channel.h"
#include "runner/automation/automation_handler.h"
#include "sim/world.h"
#include "testing/channel_harness.h"

namespace tandrel {

using channel::Value;
using channel::ValueList;
using channel::ValueMap;
using channel_test::MethodReply;
using Pauses = std::vector<sim::Micros>;

struct AutomationWorld {
  static constexpr int32_t kEditorPid = 100;

  AutomationWorld() {
    world.setTrusted(true);
    channel::MethodChannel(harness.messenger(), "tandrel/automation")
        .setMethodCallHandler([this](const auto& c, auto r) { handler.handle(c, std::move(r)); });
  }

  MethodReply call(const std::string& method, const Value& args = Value()) {
    return harness.call("tandrel/automation", method, args);
  }

  // Puts an application in front whose focused field holds `value`.
  sim::ElementState& focus(std::u16string value, platform::AXRange selection = {0, 0}) {
    sim::AppState app;
    app.pid = kEditorPid;
    app.focused.emplace();
    app.focused->value = std::move(value);
    app.focused->selection = selection;
    world.addApplication(std::move(app));
    world.setFrontmost(kEditorPid);
    return *world.focusedElement();
  }

  sim::World world;
  channel_test::ChannelHarness harness;
  AutomationHandler handler{world};
};

class AutomationTest : public ::testing::Test, public AutomationWorld {};

}  // namespace tandrel
