#pragma once
// A world with applications 7 and 8 (7 in front) and every permission granted, and the key stream
// handler on "tandrel/key_events" through real bytes, with the event maps the Flutter side gets.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runner/keytap/key_event_tap_handler.h"
#include "runner/permissions/permission_gate.h"
#include "sim/world.h"
#include "testing/channel_harness.h"

namespace tandrel {

using channel::Value;
using channel::ValueMap;
using channel_test::MethodReply;
using Events = std::vector<Value>;

constexpr sim::Micros kMs = 1000;
constexpr uint16_t kG = 5, kA = 0, kLeftShift = 56, kRightShift = 60;
inline const std::string kChannel(kKeyEventsChannel);
inline const std::string kNotification(kAccessibilityChanged);
inline const MethodReply kNotGranted =
    MethodReply::Error("no_permission", "Key listening permission is not granted");
inline const MethodReply kTapFailed =
    MethodReply::Error("no_permission", "CGEventTap creation failed \u2014 permission missing?");

struct Mods {
  bool control = false, shift = false, alt = false, meta = false;
};
inline Value flagsOnto(ValueMap m, Mods f) {
  for (const auto& [key, on] :
       {std::pair{"control", f.control}, {"shift", f.shift}, {"alt", f.alt}, {"meta", f.meta}}) {
    m.append(key, on);
  }
  return m;
}
inline Value keyDown(int32_t code, const char* chars, bool repeat = false, Mods f = {}) {
  return flagsOnto({{"type", "keyDown"}, {"keycode", code}, {"repeat", repeat}, {"chars", chars}},
                   f);
}
inline Value modifier(int32_t code, bool down, Mods f = {}) {
  return flagsOnto({{"type", "modifier"}, {"keycode", code}, {"down", down}}, f);
}
inline const Value kClick = ValueMap{{"type", "click"}};
inline const Value kAppChanged = ValueMap{{"type", "appChanged"}};
inline const Value kPermissionLost = ValueMap{{"type", "permissionLost"}};

struct KeyTap : ::testing::Test {
  void SetUp() override {
    for (const int32_t pid : {7, 8}) {
      sim::AppState a;
      a.pid = pid;
      a.focused = sim::ElementState{};
      world.addApplication(a);
    }
    world.setFrontmost(7);
    world.setTrusted(true);
    world.setListenAccess(true);
    world.runPending();
  }
  void install(bool sandboxed) {
    handler = KeyEventTapHandler::create(world, sandboxed);
    channel::EventChannel(h.messenger(), kChannel).setStreamHandler(handler);
  }
  void listen(bool sandboxed = false) {
    install(sandboxed);
    ASSERT_EQ(h.listen(kChannel), MethodReply::Success());
  }
  Events take() {
    world.runPending();
    Events values = h.eventValues(kChannel);
    h.clearEvents();
    return values;
  }
  // A synthetic event from `source` (none: no marker), carrying `units` as its characters.
  platform::Event event(uint16_t code, std::u16string_view units,
                        platform::EventSource source = {}) {
    auto e = world.events().createKeyboardEvent(source, code, true);
    world.events().keyboardSetUnicodeString(e, units.size(), units.data());
    return e;
  }
  void post(const platform::Event& e) { world.events().post(platform::kCGSessionEventTap, e); }

  sim::World world;
  channel_test::ChannelHarness h;
  std::shared_ptr<KeyEventTapHandler> handler;
};

}  // namespace tandrel
