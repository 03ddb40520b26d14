#pragma once
// A world with applications 7 and 8 (7 in front) and every permission granted, and the key stream
// handler on "tandrel/key_events" through real bytes, with the event maps the Flutter side gets;
// beside it, not listened, the permission stream it reports a lost tap to.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runner/keytap/key_event_tap_handler.h"
#include "runner/permissions/permission_gate.h"
#include "runner/permissions/permission_watch_handler.h"
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
inline const std::string kPermissionEvents(kPermissionEventsChannel);
inline const std::string kNotification(kAccessibilityChanged);
inline MethodReply noPermission(const char* message, const char* reason) {
  return MethodReply::Error("no_permission", message, ValueMap{{"reason", reason}});
}
inline const MethodReply kNotGranted =
    noPermission("Key listening permission is not granted", "notGranted");
inline const MethodReply kTapFailed =
    noPermission("CGEventTap creation failed \u2014 permission missing?", "tapFailed");
inline const MethodReply kStaleGrant = noPermission(
    "Accessibility is granted, but no event tap can be made: the grant is stale (the app was "
    "signed again, or its row deleted). Remove the app from System Settings > Privacy & Security "
    "> Accessibility and add it again.",
    "stale");

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

struct KeyTapWorld {
  KeyTapWorld() {
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
    auto permissions = PermissionWatchHandler::create(world, sandboxed);
    handler->setPermissionStream(permissions);
    channel::EventChannel(h.messenger(), kPermissionEvents)
        .setStreamHandler(std::move(permissions));
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
struct KeyTap : ::testing::Test, KeyTapWorld {};

}  // namespace tandrel
