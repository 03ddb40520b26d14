#pragma once
// A fresh simulated system with an AutomationHandler behind "tandrel/automation", driven through
// the channel bytes as the Flutter side would.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "channel/method_channel.h"
#include "runner/automation/automation_handler.h"
#include "sim/world.h"
#include "testing/channel_harness.h"

namespace tandrel {

using channel::Value;
using channel::ValueList;
using channel::ValueMap;
using channel_test::MethodReply;

class AutomationTest : public ::testing::Test {
 protected:
  static constexpr int32_t kEditorPid = 100;

  AutomationTest() {
    world.setTrusted(true);
    world.setPostAccess(true);
    channel::MethodChannel(harness.messenger(), "tandrel/automation")
        .setMethodCallHandler(
            [this](const channel::MethodCall& c, std::unique_ptr<channel::MethodResult> r) {
              handler.handle(c, std::move(r));
            });
  }

  MethodReply call(const std::string& method, const Value& args = Value()) {
    return harness.call("tandrel/automation", method, args);
  }

  // Puts an application in front whose focused element is `element`.
  sim::ElementState& focus(sim::ElementState element) {
    sim::AppState app;
    app.pid = kEditorPid;
    app.bundleIdentifier = "com.example.editor";
    app.localizedName = "Editor";
    app.focused = std::move(element);
    world.addApplication(std::move(app));
    world.setFrontmost(kEditorPid);
    return *world.focusedElement();
  }

  static sim::ElementState field(std::u16string value, platform::AXRange selection = {0, 0}) {
    sim::ElementState element;
    element.value = std::move(value);
    element.selection = selection;
    return element;
  }

  sim::World world;
  channel_test::ChannelHarness harness;
  AutomationHandler handler{world};
};

}  // namespace tandrel
