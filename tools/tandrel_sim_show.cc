// The "show" verb: what the simulated macOS looks like now. Times and pauses are in
// microseconds of virtual time.
#include <string>
#include <string_view>

#include "text/text.h"
#include "tools/tandrel_sim.h"

namespace simhost {
namespace {

Json optionalString(const std::optional<std::string>& s) {
  return s ? Json(*s) : Json();
}

Json optionalText(const std::optional<std::u16string>& s) {
  return s ? Json(text::utf16ToUtf8(*s)) : Json();
}

// Typed data reads as text when it is valid UTF-8, else as tagged hex.
Json dataJson(const platform::SharedBytes& bytes) {
  std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (text::isValidUtf8(view)) return Json(std::string(view));
  Json tagged = Json::object();
  tagged["$bytes"] = hexOf(bytes);
  return tagged;
}

Json rangeJson(const platform::AXRange& range) {
  Json r = Json::object();
  r["start"] = range.location;
  r["length"] = range.length;
  return r;
}

Json fieldJson(sim::World& world) {
  std::optional<int32_t> front = world.focusOwner();
  const sim::ElementState* element = world.focusedElement();
  if (!front || !element) return Json();
  Json field = Json::object();
  field["pid"] = *front;
  if (element->valueIsNumber) {
    field["number"] = element->numberValue;
  } else {
    field["text"] = optionalText(element->value);
  }
  field["selection"] = element->selection ? rangeJson(*element->selection) : Json();
  field["subrole"] = optionalText(element->subrole);
  // What a rich view keeps beside its text, and what a web page will send.
  if (element->kind == sim::ElementKind::kRich) {
    field["kind"] = "rich";
    Json runs = Json::array();
    for (const sim::StyleRun& run : sim::styleRuns(*element)) {
      Json r = Json::object();
      r["start"] = run.start;
      r["length"] = run.length;
      r["style"] = run.style;
      runs.push_back(std::move(r));
    }
    field["runs"] = std::move(runs);
  } else if (element->kind == sim::ElementKind::kWebEditable ||
             element->kind == sim::ElementKind::kChromium) {
    field["kind"] = element->kind == sim::ElementKind::kChromium ? "chromium" : "webEditable";
    field["model"] = text::utf16ToUtf8(element->model);
  }
  return field;
}

Json pasteboardJson(sim::World& world) {
  Json items = Json::array();
  for (const sim::PasteboardItemState& item : world.pasteboardItems()) {
    Json types = Json::object();
    for (const auto& [type, data] : item.types) types[type] = dataJson(data);
    Json entry = Json::object();
    entry["types"] = std::move(types);
    if (!item.unreadableTypes.empty()) {
      entry["unreadable"] =
          Json(std::vector<std::string>(item.unreadableTypes.begin(), item.unreadableTypes.end()));
    }
    items.push_back(std::move(entry));
  }
  Json pasteboard = Json::object();
  pasteboard["changeCount"] = world.pasteboardChangeCount();
  pasteboard["items"] = std::move(items);
  return pasteboard;
}

std::string kindName(std::string_view type) {
  if (type == platform::kTISTypeKeyboardLayout) return "layout";
  if (type == platform::kTISTypeKeyboardInputMethodWithoutModes) return "inputMethod";
  if (type == platform::kTISTypeKeyboardInputMethodModeEnabled) return "inputMethodWithModes";
  if (type == platform::kTISTypeKeyboardInputMode) return "inputMode";
  return std::string(type);
}

Json inputSourcesJson(sim::World& world) {
  Json list = Json::array();
  for (const sim::InputSourceState& s : world.inputSourceList()) {
    Json source = Json::object();
    source["id"] = s.id;
    source["layout"] = s.layout;
    if (s.languages) {
      Json languages = Json::array();
      for (const auto& l : *s.languages) languages.push_back(optionalString(l));
      source["languages"] = std::move(languages);
    } else {
      source["languages"] = Json();
    }
    source["enabled"] = s.enabled;
    source["selectCapable"] = s.selectCapable;
    source["category"] = s.category;
    source["kind"] = kindName(s.type);
    source["selectStatus"] = s.selectStatus;
    list.push_back(std::move(source));
  }
  return list;
}

Json tapLocationJson(platform::TapLocation location) {
  switch (location) {
    case platform::kCGHIDEventTap:
      return "hid";
    case platform::kCGSessionEventTap:
      return "session";
    case platform::kCGAnnotatedSessionEventTap:
      return "annotatedSession";
    default:
      return location;
  }
}

Json postedJson(sim::World& world) {
  Json list = Json::array();
  for (const sim::PostedEvent& e : world.takePosted()) {
    Json event = Json::object();
    if (e.type == platform::kCGEventKeyDown) {
      event["type"] = "keyDown";
    } else if (e.type == platform::kCGEventKeyUp) {
      event["type"] = "keyUp";
    } else {
      event["type"] = e.type;
    }
    event["keycode"] = e.keycode;
    event["flags"] = e.flags;
    event["characters"] = text::utf16ToUtf8(e.unicode);
    event["userData"] = e.userData;
    event["location"] = tapLocationJson(e.location);
    event["hadSource"] = e.hadSource;
    event["postedAt"] = e.postedAt;
    event["deliveredAt"] = e.deliveredAt ? Json(*e.deliveredAt) : Json();
    list.push_back(std::move(event));
  }
  return list;
}

Json traceJson(sim::World& world) {
  Json list = Json::array();
  for (sim::TraceEntry& e : world.takeTrace()) {
    Json entry = Json::object();
    entry["time"] = e.time;
    // The host's own entries are script lines and printed lines: shown as the JSON they are.
    const bool fromHost = e.kind == "world" || e.kind == "user" || e.kind == "call" ||
                          e.kind == "listen" || e.kind == "cancel" || e.kind == "send" ||
                          e.kind == "answer" || e.kind == "event";
    Json detail = fromHost ? Json::parse(e.detail, nullptr, false) : Json(std::move(e.detail));
    entry["kind"] = std::move(e.kind);
    entry["detail"] = detail.is_discarded() ? Json(std::move(e.detail)) : std::move(detail);
    list.push_back(std::move(entry));
  }
  return list;
}

Json timersJson(sim::World& world) {
  Json list = Json::array();
  for (const sim::PendingWork& w : world.pendingWork()) {
    Json entry = Json::object();
    entry["kind"] = w.isTimer ? "timer" : "block";
    entry["id"] = w.id;
    entry["scheduledAt"] = w.scheduledAt;
    entry["due"] = w.due;
    if (w.isTimer) {
      entry["interval"] = w.interval;
      entry["repeats"] = w.repeats;
    }
    list.push_back(std::move(entry));
  }
  return list;
}

// Event type names of a tap's mask, by bit.
Json maskEvents(uint64_t mask) {
  static constexpr std::pair<platform::EventType, const char*> kNames[] = {
      {platform::kCGEventLeftMouseDown, "leftMouseDown"},
      {platform::kCGEventLeftMouseUp, "leftMouseUp"},
      {platform::kCGEventRightMouseDown, "rightMouseDown"},
      {platform::kCGEventRightMouseUp, "rightMouseUp"},
      {platform::kCGEventKeyDown, "keyDown"},
      {platform::kCGEventKeyUp, "keyUp"},
      {platform::kCGEventFlagsChanged, "flagsChanged"},
      {platform::kCGEventOtherMouseDown, "otherMouseDown"},
      {platform::kCGEventOtherMouseUp, "otherMouseUp"},
  };
  Json names = Json::array();
  for (platform::EventType type = 0; type < 64; ++type) {
    if (!(mask & platform::eventMaskBit(type))) continue;
    Json name = type;
    for (const auto& [known, text] : kNames) {
      if (known == type) name = text;
    }
    names.push_back(std::move(name));
  }
  return names;
}

Json tapsJson(sim::World& world) {
  Json list = Json::array();
  for (const sim::TapInfo& t : world.taps()) {
    Json tap = Json::object();
    tap["location"] = t.location == platform::kCGHIDEventTap       ? Json("HID")
                      : t.location == platform::kCGSessionEventTap ? Json("session")
                      : t.location == platform::kCGAnnotatedSessionEventTap
                          ? Json("annotatedSession")
                          : Json(t.location);
    tap["placement"] = t.placement == platform::kCGHeadInsertEventTap ? Json("head")
                       : t.placement == 1                             ? Json("tail")
                                                                      : Json(t.placement);
    tap["options"] = t.options == platform::kCGEventTapOptionListenOnly ? Json("listenOnly")
                     : t.options == platform::kCGEventTapOptionDefault  ? Json("active")
                                                                        : Json(t.options);
    tap["mask"] = t.mask;
    tap["events"] = maskEvents(t.mask);
    tap["enabled"] = t.enabled;
    tap["runLoop"] = t.onMainRunLoop ? Json("main") : t.onThreadRunLoop ? Json("thread") : Json();
    tap["threadQos"] = !t.onThreadRunLoop                                  ? Json()
                       : t.threadQos == platform::kQosClassUserInteractive ? Json("userInteractive")
                       : t.threadQos == platform::kQosClassDefault         ? Json("default")
                                                                           : Json(t.threadQos);
    list.push_back(std::move(tap));
  }
  Json taps = Json::object();
  taps["active"] = world.activeTapCount();
  taps["total"] = world.tapCount();
  taps["threads"] = world.tapThreadCount();
  taps["taps"] = std::move(list);
  return taps;
}

Json callsJson(sim::World& world) {
  const sim::CallCounts& c = world.callCounts();
  Json j = Json::object();
  j["writeObjects"] = c.writeObjects;
  j["setData"] = c.setData;
  j["loginItemStatus"] = c.loginItemStatus;
  j["loginItemRegister"] = c.loginItemRegister;
  j["loginItemUnregister"] = c.loginItemUnregister;
  j["inputSourceLists"] = c.inputSourceLists;
  j["inputSourceSelects"] = c.inputSourceSelects;
  j["trustPrompts"] = world.trustPrompts();
  j["listenRequests"] = world.listenRequests();
  j["postRequests"] = world.postRequests();
  return j;
}

Json recordsJson(sim::World& world) {
  const sim::Records r = world.records();
  const auto totals = [](const sim::RecordTotals& t) {
    Json j = Json::object();
    j["total"] = t.total;
    j["dropped"] = t.dropped;
    return j;
  };
  Json j = Json::object();
  j["window"] = r.window;
  j["pauses"] = totals(r.pauses);
  j["pauses"]["micros"] = r.pausedMicros;
  j["log"] = totals(r.log);
  j["urls"] = totals(r.urls);
  j["trace"] = totals(r.trace);
  return j;
}

Json appsJson(sim::World& world) {
  Json list = Json::array();
  std::optional<int32_t> front = world.frontmost();
  for (const platform::RunningApplication& running : world.workspace().runningApplications()) {
    const sim::AppState* app = world.application(running.processIdentifier);
    if (!app) continue;
    Json entry = Json::object();
    entry["pid"] = app->pid;
    entry["bundleIdentifier"] = optionalString(app->bundleIdentifier);
    entry["name"] = optionalString(app->localizedName);
    entry["frontmost"] = front == app->pid;
    static const char* const kChromium[] = {"none",        "chrome",           "chromeBefore14",
                                            "electronOld", "electronReadable", "electronDebounced"};
    static const char* const kModes[] = {"off", "basic", "complete"};
    entry["chromium"] = kChromium[static_cast<int>(app->chromium)];
    entry["accessibility"] = kModes[static_cast<int>(app->accessibility)];
    // Null while no tree is to be built; else when it is (or was) there.
    entry["treeReadyAt"] =
        app->chromium == sim::Chromium::kNone || app->accessibility == sim::AccessibilityMode::kOff
            ? Json()
            : Json(app->treeReadyAt);
    entry["manualAccessibilityWrites"] = app->manualAccessibilityWrites;
    entry["enhancedUserInterface"] = app->enhancedUserInterface;
    entry["enhancedUserInterfaceWrites"] = app->enhancedUserInterfaceWrites;
    entry["focused"] = app->focused.has_value();
    entry["hung"] = app->hung;
    entry["callDelay"] = app->callDelay;
    entry["timedOutCalls"] = app->timedOutCalls;
    list.push_back(std::move(entry));
  }
  return list;
}

}  // namespace

Json showWhat(SimContext& context, std::string_view what) {
  sim::World& world = context.world;
  if (what == "field") return fieldJson(world);
  if (what == "pasteboard") return pasteboardJson(world);
  if (what == "inputSource") {
    Json source = Json::object();
    source["id"] = world.selectedInputSource();
    source["layout"] = world.selectedLayout();
    return source;
  }
  if (what == "inputSources") return inputSourcesJson(world);
  if (what == "loginItem") {
    const sim::LoginItemState& item = world.loginItem();
    Json j = Json::object();
    j["status"] = world.loginItemStatus();
    j["refuse"] = item.refuse;
    j["refusalDescription"] = optionalString(item.refusalDescription);
    j["requiresApproval"] = item.requiresApproval;
    j["switchedOff"] = item.switchedOff;
    j["signatureRejected"] = item.signatureRejected;
    j["bundlePath"] = world.bundlePath();
    j["settingsOpened"] = item.settingsOpened;
    return j;
  }
  if (what == "posted") return postedJson(world);
  if (what == "postedTotal") return Json(world.postedTotal());
  if (what == "pauses") return Json(world.takePauses());
  if (what == "log") return Json(world.takeLog());
  if (what == "urls") return Json(world.takeOpenedURLs());
  if (what == "window") {
    const sim::WindowState& w = world.window();
    Json frame = Json::object();
    frame["x"] = w.x;
    frame["y"] = w.y;
    frame["width"] = w.width;
    frame["height"] = w.height;
    Json window = Json::object();
    window["visible"] = w.visible;
    window["frame"] = std::move(frame);
    return window;
  }
  if (what == "time") return Json(world.now());
  if (what == "apps") return appsJson(world);
  if (what == "permissions") {
    Json p = Json::object();
    p["trusted"] = world.trusted();
    p["tapsTrusted"] = world.tapsTrusted();
    p["listenAccess"] = world.listenAccess();
    p["postAccess"] = world.postAccess();
    p["trustPrompts"] = world.trustPrompts();
    p["listenRequests"] = world.listenRequests();
    p["postRequests"] = world.postRequests();
    return p;
  }
  if (what == "taps") return tapsJson(world);
  if (what == "activities") {
    Json list = Json::array();
    for (const sim::ActivityInfo& a : world.activities()) {
      Json entry = Json::object();
      entry["options"] = a.options;
      entry["preventsIdleSleep"] = (a.options & platform::kNSActivityIdleSystemSleepDisabled) != 0;
      entry["holdsUpLogout"] =
          (a.options & (platform::kNSActivitySuddenTerminationDisabled |
                        platform::kNSActivityAutomaticTerminationDisabled)) != 0;
      entry["reason"] = a.reason;
      entry["since"] = a.since;
      list.push_back(std::move(entry));
    }
    Json j = Json::object();
    j["napped"] = world.napped();
    j["activities"] = std::move(list);
    return j;
  }
  if (what == "trace") return traceJson(world);
  if (what == "timers") return timersJson(world);
  if (what == "records") return recordsJson(world);
  if (what == "calls") return callsJson(world);
  if (what == "observers") return Json(world.observerCount());
  if (what == "modifiers") return Json(world.heldFlags());
  if (what == "registrars") {
    if (!context.registry) throw ScriptError("no plug-in registry in this host");
    return Json(context.registry->registrarNames());
  }
  throw ScriptError("unknown view \"" + std::string(what) + "\"");
}

}  // namespace simhost
