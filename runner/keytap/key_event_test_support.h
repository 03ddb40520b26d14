#pragma once
// Test support: the event maps of "tandrel/key_events" as the Flutter side decodes them, and a
// world wired to a key event handler through real channel bytes.

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "channel/event_channel.h"
#include "runner/keytap/key_event_tap_handler.h"
#include "sim/world.h"
#include "testing/channel_harness.h"

namespace tandrel_test {

using channel::Value;
using channel::ValueMap;

inline constexpr sim::Micros kMs = 1000;
inline const std::string kKeyChannel(tandrel::kKeyEventsChannel);

struct Mods {
  bool control = false;
  bool shift = false;
  bool alt = false;
  bool meta = false;
};

inline Value keyDownEvent(int32_t keycode, const std::string& chars, bool repeat = false,
                          Mods m = {}) {
  return ValueMap{{"type", "keyDown"}, {"keycode", keycode},   {"repeat", repeat},
                  {"chars", chars},    {"control", m.control}, {"shift", m.shift},
                  {"alt", m.alt},      {"meta", m.meta}};
}

inline Value modifierEvent(int32_t keycode, bool down, Mods m = {}) {
  return ValueMap{{"type", "modifier"},   {"keycode", keycode}, {"down", down},
                  {"control", m.control}, {"shift", m.shift},   {"alt", m.alt},
                  {"meta", m.meta}};
}

inline Value typeOnly(const char* type) {
  return ValueMap{{"type", type}};
}

class KeyTapTest : public ::testing::Test {
 protected:
  void install(bool sandboxed) {
    handler = tandrel::KeyEventTapHandler::create(world, sandboxed);
    channel::EventChannel(h.messenger(), kKeyChannel).setStreamHandler(handler);
  }
  // Trusted (and, in the sandbox, with listen access) and listening.
  void startListening(bool sandboxed = false) {
    world.setTrusted(true);
    world.setListenAccess(true);
    world.runPending();
    install(sandboxed);
    ASSERT_EQ(h.listen(kKeyChannel), channel_test::MethodReply::Success());
  }
  std::vector<Value> events() const { return h.eventValues(kKeyChannel); }
  std::vector<Value> takeEvents() {
    auto values = events();
    h.clearEvents();
    return values;
  }

  sim::World world;
  channel_test::ChannelHarness h;
  std::shared_ptr<tandrel::KeyEventTapHandler> handler;
};

}  // namespace tandrel_test
