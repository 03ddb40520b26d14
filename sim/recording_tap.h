#pragma once
// For the simulation's own tests: a tap on the main run loop that records every event it is
// handed, and an application with a focused field to type into.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/world.h"

namespace sim {

struct SeenEvent {
  platform::EventType type;
  int64_t keycode;
  int64_t repeat;
  int64_t userData;
  platform::EventFlags flags;
  std::u16string chars;
};

// What one tap saw; its callback answers null (drop) when `drop` is set.
struct Recorder {
  platform::Events* events = nullptr;
  std::vector<SeenEvent> seen;
  bool drop = false;
};

inline platform::EventObject* record(platform::EventType type, platform::EventObject* event,
                                     void* userInfo) {
  auto* r = static_cast<Recorder*>(userInfo);
  platform::Events& ev = *r->events;
  char16_t buffer[32] = {};
  size_t length = 0;
  ev.keyboardGetUnicodeString(*event, 32, length, buffer);
  r->seen.push_back({type, ev.integerValueField(*event, platform::kCGKeyboardEventKeycode),
                     ev.integerValueField(*event, platform::kCGKeyboardEventAutorepeat),
                     ev.integerValueField(*event, platform::kCGEventSourceUserData),
                     ev.flags(*event), std::u16string(buffer, std::min<size_t>(length, 32))});
  return r->drop ? nullptr : event;
}

struct RecordingTap {
  platform::MachPort port;
  platform::RunLoopSource source;
};

// Creates the tap and adds it to the main run loop; no port when the system refuses it.
inline RecordingTap installRecordingTap(platform::Events& ev, Recorder& r,
                                        platform::TapOptions options, uint64_t mask) {
  r.events = &ev;
  RecordingTap t;
  t.port = ev.tapCreate(platform::kCGSessionEventTap, platform::kCGHeadInsertEventTap, options,
                        mask, record, &r);
  if (!t.port) return t;
  t.source = ev.createRunLoopSource(t.port);
  ev.addSource(ev.mainRunLoop(), t.source);
  return t;
}

// Adds an application whose empty field has focus; in front unless `front` is false.
inline ElementState& addFocusedApp(World& world, int32_t pid, bool front = true) {
  AppState app;
  app.pid = pid;
  app.focused = ElementState{};
  world.addApplication(std::move(app));
  if (front) world.setFrontmost(pid);
  return *world.application(pid)->focused;
}

}  // namespace sim
