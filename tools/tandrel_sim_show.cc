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
Json dataJson(const platform::Bytes& bytes) {
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
  std::optional<int32_t> front = world.frontmost();
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
    entry["manualAccessibility"] = app->manualAccessibility;
    entry["manualAccessibilityWrites"] = app->manualAccessibilityWrites;
    entry["focused"] = app->focused.has_value();
    entry["hung"] = app->hung;
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
    j["status"] = item.status;
    j["refuse"] = item.refuse;
    j["refusalDescription"] = optionalString(item.refusalDescription);
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
    p["listenAccess"] = world.listenAccess();
    p["postAccess"] = world.postAccess();
    p["trustPrompts"] = world.trustPrompts();
    p["listenRequests"] = world.listenRequests();
    p["postRequests"] = world.postRequests();
    return p;
  }
  if (what == "taps") {
    Json taps = Json::object();
    taps["active"] = world.activeTapCount();
    taps["total"] = world.tapCount();
    taps["threads"] = world.tapThreadCount();
    return taps;
  }
  if (what == "observers") return Json(world.observerCount());
  if (what == "modifiers") return Json(world.heldFlags());
  if (what == "registrars") {
    if (!context.registry) throw ScriptError("no plug-in registry in this host");
    return Json(context.registry->registrarNames());
  }
  throw ScriptError("unknown view \"" + std::string(what) + "\"");
}

}  // namespace simhost
