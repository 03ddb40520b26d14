// The "world" and "user" verbs: setting up the simulated macOS and acting in it as the user
// and the system. Every setting is read and checked before anything changes, so a line with
// a mistake leaves the world as it was.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "sim/app/runner_model.h"
#include "text/text.h"
#include "tools/tandrel_sim.h"

namespace simhost {
namespace {

using Steps = std::vector<std::function<void()>>;

std::string inQuotes(std::string_view key) {
  return "\"" + std::string(key) + "\"";
}

bool asBool(const Json& j, std::string_view key) {
  if (!j.is_boolean()) throw ScriptError(inQuotes(key) + " must be true or false");
  return j.get<bool>();
}

// Integers; a float is accepted only when it is whole and in range.
int64_t asInt(const Json& j, std::string_view key, int64_t min, int64_t max) {
  // The JSON mapping's form of a 64-bit integer counts as that integer, as in channel values.
  if (j.is_object() && j.size() == 1 && j.contains("$int64") && j["$int64"].is_number()) {
    return asInt(j["$int64"], key, min, max);
  }
  std::optional<int64_t> value;
  if (j.is_number_integer() && !j.is_number_unsigned()) {
    value = j.get<int64_t>();
  } else if (j.is_number_unsigned()) {
    uint64_t u = j.get<uint64_t>();
    if (u <= static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
      value = static_cast<int64_t>(u);
    }
  } else if (j.is_number_float()) {
    double d = j.get<double>();
    if (std::isfinite(d) && std::trunc(d) == d && d >= -9.2e18 && d <= 9.2e18) {
      value = static_cast<int64_t>(d);
    }
  }
  if (!value || *value < min || *value > max) {
    throw ScriptError(inQuotes(key) + " must be an integer from " + std::to_string(min) + " to " +
                      std::to_string(max));
  }
  return *value;
}

int32_t asPid(const Json& j, std::string_view key) {
  return static_cast<int32_t>(
      asInt(j, key, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

double asNumber(const Json& j, std::string_view key) {
  if (!j.is_number()) throw ScriptError(inQuotes(key) + " must be a number");
  return j.get<double>();
}

std::string asString(const Json& j, std::string_view key) {
  if (!j.is_string()) throw ScriptError(inQuotes(key) + " must be a string");
  return j.get<std::string>();
}

// A string, or null for "absent".
std::optional<std::string> asOptionalString(const Json& j, std::string_view key) {
  if (j.is_null()) return std::nullopt;
  return asString(j, key);
}

const Json& asObject(const Json& j, std::string_view key) {
  if (!j.is_object()) throw ScriptError(inQuotes(key) + " must be an object");
  return j;
}

const Json& asArray(const Json& j, std::string_view key) {
  if (!j.is_array()) throw ScriptError(inQuotes(key) + " must be a list");
  return j;
}

[[noreturn]] void unknownKey(std::string_view where, std::string_view key) {
  throw ScriptError("unknown " + std::string(where) + " key " + inQuotes(key));
}

platform::AXRange asRange(const Json& j, std::string_view key) {
  if (j.is_array() && j.size() == 2) {
    return {asInt(j[0], key, 0, std::numeric_limits<int64_t>::max()),
            asInt(j[1], key, 0, std::numeric_limits<int64_t>::max())};
  }
  if (j.is_object() && j.size() == 2 && j.contains("start") && j.contains("length")) {
    return {asInt(j["start"], key, 0, std::numeric_limits<int64_t>::max()),
            asInt(j["length"], key, 0, std::numeric_limits<int64_t>::max())};
  }
  throw ScriptError(inQuotes(key) + " must be [start, length] or {\"start\", \"length\"}");
}

sim::WriteBehaviour asWriteBehaviour(const Json& j) {
  std::string s = asString(j, "write");
  if (s == "accept") return sim::WriteBehaviour::kAccept;
  if (s == "refuse") return sim::WriteBehaviour::kRefuse;
  if (s == "ignore") return sim::WriteBehaviour::kIgnore;
  if (s == "reformat") return sim::WriteBehaviour::kReformat;
  throw ScriptError("\"write\" must be \"accept\", \"refuse\", \"ignore\" or \"reformat\"");
}

sim::ElementKind asElementKind(const Json& j) {
  std::string s = asString(j, "kind");
  if (s == "plain") return sim::ElementKind::kPlain;
  if (s == "rich") return sim::ElementKind::kRich;
  if (s == "webEditable") return sim::ElementKind::kWebEditable;
  if (s == "chromium") return sim::ElementKind::kChromium;
  throw ScriptError("\"kind\" must be \"plain\", \"rich\", \"webEditable\" or \"chromium\"");
}

sim::Chromium asChromium(const Json& j) {
  const std::string s = asString(j, "chromium");
  static const std::pair<const char*, sim::Chromium> kKinds[] = {
      {"none", sim::Chromium::kNone},
      {"chrome", sim::Chromium::kChrome},
      {"chromeBefore14", sim::Chromium::kChromeBefore14},
      {"electronOld", sim::Chromium::kElectronOld},
      {"electronReadable", sim::Chromium::kElectronReadable},
      {"electronDebounced", sim::Chromium::kElectronDebounced}};
  for (const auto& [name, kind] : kKinds) {
    if (s == name) return kind;
  }
  throw ScriptError(
      "\"chromium\" must be \"none\", \"chrome\", \"chromeBefore14\", \"electronOld\", "
      "\"electronReadable\" or \"electronDebounced\"");
}

sim::AccessibilityMode asAccessibilityMode(const Json& j) {
  const std::string s = asString(j, "accessibility");
  if (s == "off") return sim::AccessibilityMode::kOff;
  if (s == "basic") return sim::AccessibilityMode::kBasic;
  if (s == "complete") return sim::AccessibilityMode::kComplete;
  throw ScriptError("\"accessibility\" must be \"off\", \"basic\" or \"complete\"");
}

// Seconds from 0 to `max`, as whole microseconds.
sim::Micros asSeconds(const Json& j, const std::string& key, double max) {
  const double seconds = asNumber(j, key);
  if (!std::isfinite(seconds) || seconds < 0 || seconds > max) {
    throw ScriptError(inQuotes(key) + " takes 0 to " + std::to_string(static_cast<int>(max)) +
                      " seconds");
  }
  return static_cast<sim::Micros>(std::llround(seconds * 1e6));
}

// Formatting runs: [start, length, style] or {"start", "length", "style"}.
std::vector<sim::StyleRun> asStyleRuns(const Json& list) {
  std::vector<sim::StyleRun> runs;
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  for (const Json& j : asArray(list, "runs")) {
    if (j.is_array() && j.size() == 3) {
      runs.push_back(
          {asInt(j[0], "runs", 0, kMax), asInt(j[1], "runs", 0, kMax), asString(j[2], "runs")});
    } else if (j.is_object() && j.size() == 3 && j.contains("start") && j.contains("length") &&
               j.contains("style")) {
      runs.push_back({asInt(j["start"], "runs", 0, kMax), asInt(j["length"], "runs", 0, kMax),
                      asString(j["style"], "runs")});
    } else {
      throw ScriptError("\"runs\" entries must be [start, length, style]");
    }
  }
  return runs;
}

// A focused text element; keys left out keep the values of `element`.
sim::ElementState parseElement(const Json& j, sim::ElementState element) {
  asObject(j, "focused");
  std::optional<std::vector<sim::StyleRun>> runs;
  bool valueGiven = false, modelGiven = false;
  for (auto it = j.begin(); it != j.end(); ++it) {
    const std::string& key = it.key();
    const Json& v = it.value();
    if (key == "kind") {
      element.kind = asElementKind(v);
    } else if (key == "runs") {
      runs = asStyleRuns(v);
    } else if (key == "model") {
      element.model = text::utf8ToUtf16(asString(v, key));
      modelGiven = true;
    } else if (key == "ignoreSelectedTextWrite") {
      element.ignoreSelectedTextWrite = asBool(v, key);
    } else if (key == "ignoreTyping") {
      element.ignoreTyping = asBool(v, key);
    } else if (key == "axLag") {
      if (v.is_string() && v.get<std::string>() == "frame") {
        element.axLag = sim::kFrameLag;
      } else if (v.is_string() && v.get<std::string>() == "pageLoad") {
        element.axLag = sim::kPageLoadLag;
      } else if (v.is_number()) {
        element.axLag = asSeconds(v, key, 10);
      } else {
        throw ScriptError("\"axLag\" must be \"frame\", \"pageLoad\" or seconds");
      }
    } else if (key == "value") {
      valueGiven = true;
      std::optional<std::string> text = asOptionalString(v, key);
      element.value = text ? std::optional(text::utf8ToUtf16(*text)) : std::nullopt;
      element.valueIsNumber = false;
    } else if (key == "number") {
      element.numberValue = asNumber(v, key);
      element.valueIsNumber = true;
    } else if (key == "selection") {
      element.selection = v.is_null() ? std::nullopt : std::optional(asRange(v, key));
    } else if (key == "selectionIsNotRange") {
      element.selectionIsNotRange = asBool(v, key);
    } else if (key == "subrole") {
      std::optional<std::string> subrole = asOptionalString(v, key);
      element.subrole = subrole ? std::optional(text::utf8ToUtf16(*subrole)) : std::nullopt;
    } else if (key == "valueSettable") {
      element.valueSettable = asBool(v, key);
    } else if (key == "selectionSettable") {
      element.selectionSettable = asBool(v, key);
    } else if (key == "selectedTextSettable") {
      element.selectedTextSettable = asBool(v, key);
    } else if (key == "write") {
      element.valueWrite = asWriteBehaviour(v);
    } else if (key == "reformatTo") {
      std::optional<std::string> to = asOptionalString(v, key);
      element.reformatTo = to ? std::optional(text::utf8ToUtf16(*to)) : std::nullopt;
    } else if (key == "refuseSelectedTextWrite") {
      element.refuseSelectedTextWrite = asBool(v, key);
    } else if (key == "refuseSelectionWrite") {
      element.refuseSelectionWrite = asBool(v, key);
    } else if (key == "copyErrors" || key == "settableErrors") {
      auto& errors = key == "copyErrors" ? element.copyErrors : element.settableErrors;
      errors.clear();
      for (auto e = asObject(v, key).begin(); e != v.end(); ++e) {
        errors[e.key()] = static_cast<platform::AXError>(
            asInt(e.value(), key, std::numeric_limits<int32_t>::min(),
                  std::numeric_limits<int32_t>::max()));
      }
    } else if (key == "subroleNotString") {
      element.subroleNotString = asBool(v, key);
    } else if (key == "valueIsAttributed") {
      element.valueIsAttributed = asBool(v, key);
    } else {
      unknownKey("element", key);
    }
  }
  // New text from outside comes unformatted unless runs are given, and a page that shows it
  // has it in its model unless the model is given.
  if (runs || valueGiven) sim::setStyleRuns(element, runs.value_or(std::vector<sim::StyleRun>()));
  if (valueGiven && !modelGiven) element.model = element.value.value_or(std::u16string());
  return element;
}

std::optional<sim::ElementState> parseFocused(const Json& j,
                                              const std::optional<sim::ElementState>& current) {
  if (j.is_null()) return std::nullopt;
  return parseElement(j, current.value_or(sim::ElementState{}));
}

void parseApps(sim::World& world, const Json& list, Steps& steps) {
  for (const Json& entry : asArray(list, "apps")) {
    asObject(entry, "apps");
    if (!entry.contains("pid")) throw ScriptError("each of \"apps\" needs a \"pid\"");
    const int32_t pid = asPid(entry["pid"], "pid");
    const sim::AppState* existing = world.application(pid);
    sim::AppState app = existing ? *existing : sim::AppState{};
    app.pid = pid;
    std::optional<bool> frontmost;
    bool remove = false;
    for (auto it = entry.begin(); it != entry.end(); ++it) {
      const std::string& key = it.key();
      const Json& v = it.value();
      if (key == "pid") {
        continue;
      } else if (key == "bundleIdentifier") {
        app.bundleIdentifier = asOptionalString(v, key);
      } else if (key == "name") {
        app.localizedName = asOptionalString(v, key);
      } else if (key == "frontmost") {
        frontmost = asBool(v, key);
      } else if (key == "chromium") {
        app.chromium = asChromium(v);
      } else if (key == "treeBuildDelay") {
        app.treeBuildDelay = asSeconds(v, key, 60);
      } else if (key == "accessibility") {
        // Someone switched it on before: the tree is there already.
        app.accessibility = asAccessibilityMode(v);
        app.treeReadyAt = 0;
      } else if (key == "failsWrites") {
        app.failsWrites = asBool(v, key);
      } else if (key == "enhancedUserInterface") {
        app.enhancedUserInterface = asBool(v, key);
      } else if (key == "hung") {
        app.hung = asBool(v, key);
      } else if (key == "callDelay") {
        app.callDelay = asSeconds(v, key, 60);
      } else if (key == "focused") {
        app.focused = parseFocused(v, app.focused);
      } else if (key == "remove") {
        remove = asBool(v, key);
      } else {
        unknownKey("app", key);
      }
    }
    if (remove) {
      steps.push_back([&world, pid] { world.removeApplication(pid); });
      continue;
    }
    steps.push_back([&world, app = std::move(app), isNew = existing == nullptr] {
      if (isNew) {
        world.addApplication(app);
      } else if (sim::AppState* state = world.application(app.pid)) {
        *state = app;
      }
    });
    if (frontmost) {
      steps.push_back([&world, pid, front = *frontmost] {
        if (front) {
          world.setFrontmost(pid);
        } else if (world.frontmost() == pid) {
          world.setFrontmost(std::nullopt);
        }
      });
    }
  }
}

platform::Bytes parseData(const Json& j) {
  if (j.is_string()) {
    const std::string& s = j.get_ref<const std::string&>();
    return platform::Bytes(s.begin(), s.end());
  }
  if (j.is_object() && j.size() == 1 && j.contains("$bytes") && j["$bytes"].is_string()) {
    return bytesFromHex(j["$bytes"].get<std::string>());
  }
  throw ScriptError("pasteboard data must be text or {\"$bytes\": \"hex\"}");
}

sim::PasteboardItemState plainTextItem(const std::string& text) {
  sim::PasteboardItemState item;
  item.types.emplace_back(std::string(platform::kPasteboardTypeString),
                          platform::Bytes(text.begin(), text.end()));
  return item;
}

sim::PasteboardItemState parseItem(const Json& j) {
  if (j.is_string()) return plainTextItem(j.get<std::string>());
  asObject(j, "pasteboard");
  sim::PasteboardItemState item;
  for (auto it = j.begin(); it != j.end(); ++it) {
    const std::string& key = it.key();
    const Json& v = it.value();
    if (key == "types") {
      if (v.is_object()) {
        for (auto t = v.begin(); t != v.end(); ++t) {
          item.types.emplace_back(t.key(), parseData(t.value()));
        }
      } else {
        for (const Json& pair : asArray(v, key)) {
          if (!pair.is_array() || pair.size() != 2) {
            throw ScriptError("\"types\" entries must be [type, data]");
          }
          item.types.emplace_back(asString(pair[0], "type"), parseData(pair[1]));
        }
      }
    } else if (key == "unreadable") {
      for (const Json& type : asArray(v, key)) item.unreadableTypes.insert(asString(type, key));
    } else {
      unknownKey("pasteboard item", key);
    }
  }
  return item;
}

void parsePasteboard(sim::World& world, const Json& j, Steps& steps) {
  std::vector<sim::PasteboardItemState> items;
  if (j.is_string()) {
    items.push_back(plainTextItem(j.get<std::string>()));
  } else {
    for (const Json& entry : asArray(j, "pasteboard")) items.push_back(parseItem(entry));
  }
  // Another program writes the pasteboard: it clears it first, so the change count moves on.
  steps.push_back([&world, items = std::move(items)] {
    (void)world.pasteboard().clearContents();
    world.pasteboardItems() = items;
  });
}

// An input source's kTISPropertyInputSourceType, by a script's name for it.
std::string parseSourceKind(const Json& j) {
  static constexpr std::pair<std::string_view, std::string_view> kKinds[] = {
      {"layout", platform::kTISTypeKeyboardLayout},
      {"inputMethod", platform::kTISTypeKeyboardInputMethodWithoutModes},
      {"inputMethodWithModes", platform::kTISTypeKeyboardInputMethodModeEnabled},
      {"inputMode", platform::kTISTypeKeyboardInputMode},
  };
  const std::string name = asString(j, "kind");
  for (const auto& [kind, type] : kKinds) {
    if (name == kind) return std::string(type);
  }
  throw ScriptError(
      "\"kind\" must be \"layout\", \"inputMethod\", \"inputMethodWithModes\" or \"inputMode\"");
}

void parseInputSources(sim::World& world, const Json& list, Steps& steps) {
  for (const Json& entry : asArray(list, "inputSources")) {
    asObject(entry, "inputSources");
    if (!entry.contains("id")) throw ScriptError("each of \"inputSources\" needs an \"id\"");
    std::string id = asString(entry["id"], "id");
    sim::InputSourceState source;
    source.id = id;
    bool exists = false;
    for (const sim::InputSourceState& s : world.inputSourceList()) {
      if (s.id == id) {
        source = s;
        exists = true;
      }
    }
    bool remove = false;
    for (auto it = entry.begin(); it != entry.end(); ++it) {
      const std::string& key = it.key();
      const Json& v = it.value();
      if (key == "id") {
        continue;
      } else if (key == "category") {
        source.category = asString(v, key);
      } else if (key == "enabled") {
        source.enabled = asBool(v, key);
      } else if (key == "selectCapable") {
        source.selectCapable = asBool(v, key);
      } else if (key == "languages") {
        if (v.is_null()) {
          source.languages = std::nullopt;
        } else {
          // Anything but a string in the list is an element the OS could not read as one.
          std::vector<std::optional<std::string>> languages;
          for (const Json& l : asArray(v, key)) {
            languages.push_back(l.is_string() ? std::optional(l.get<std::string>()) : std::nullopt);
          }
          source.languages = std::move(languages);
        }
      } else if (key == "layout") {
        source.layout = asString(v, key);
        if (source.layout != "us" && source.layout != "ru" && source.layout != "dvorak") {
          throw ScriptError("\"layout\" must be \"us\", \"ru\" or \"dvorak\"");
        }
      } else if (key == "kind") {
        source.type = parseSourceKind(v);
      } else if (key == "selectStatus") {
        source.selectStatus = static_cast<int32_t>(asInt(
            v, key, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
      } else if (key == "remove") {
        remove = asBool(v, key);
      } else {
        unknownKey("input source", key);
      }
    }
    steps.push_back([&world, source = std::move(source), exists, remove] {
      auto& sources = world.inputSourceList();
      if (remove) {
        std::erase_if(sources, [&](const sim::InputSourceState& s) { return s.id == source.id; });
      } else if (!exists) {
        sources.push_back(source);
      } else {
        for (sim::InputSourceState& s : sources) {
          if (s.id == source.id) s = source;
        }
      }
    });
  }
}

// Whether `id` names an input source once this line's "inputSources" are applied.
bool sourceKnownAfter(sim::World& world, const Json& settings, const std::string& id) {
  bool known = false;
  for (const sim::InputSourceState& s : world.inputSourceList()) known = known || s.id == id;
  auto list = settings.find("inputSources");
  if (list != settings.end() && list->is_array()) {
    for (const Json& entry : *list) {
      if (!entry.is_object() || entry.value("id", Json()) != id) continue;
      known = !(entry.contains("remove") && entry["remove"] == true);
    }
  }
  return known;
}

// Whether an application with `pid` runs once this line's "apps" are applied.
bool appKnownAfter(sim::World& world, const Json& settings, int32_t pid) {
  bool known = world.application(pid) != nullptr;
  auto list = settings.find("apps");
  if (list != settings.end() && list->is_array()) {
    for (const Json& entry : *list) {
      if (!entry.is_object() || entry.value("pid", Json()) != pid) continue;
      known = !(entry.contains("remove") && entry["remove"] == true);
    }
  }
  return known;
}

platform::OperatingSystemVersion parseVersion(const Json& j) {
  std::vector<int64_t> parts;
  constexpr int64_t kMax = 1'000'000;
  if (j.is_string()) {
    std::string s = j.get<std::string>();
    size_t pos = 0;
    while (true) {
      size_t dot = s.find('.', pos);
      std::string part = s.substr(pos, dot == std::string::npos ? std::string::npos : dot - pos);
      if (part.empty() || part.size() > 7 ||
          part.find_first_not_of("0123456789") != std::string::npos) {
        throw ScriptError("\"osVersion\" must look like \"13.0.0\"");
      }
      parts.push_back(std::stoll(part));
      if (dot == std::string::npos) break;
      pos = dot + 1;
    }
  } else if (j.is_array()) {
    for (const Json& p : j) parts.push_back(asInt(p, "osVersion", 0, kMax));
  } else {
    throw ScriptError("\"osVersion\" must be \"13.0.0\" or [13, 0, 0]");
  }
  if (parts.empty() || parts.size() > 3) {
    throw ScriptError("\"osVersion\" has one to three parts");
  }
  parts.resize(3, 0);
  return {parts[0], parts[1], parts[2]};
}

void parseLoginItem(sim::World& world, const Json& j, Steps& steps) {
  sim::LoginItemState state = world.loginItem();
  static constexpr std::pair<std::string_view, bool sim::LoginItemState::*> kFlags[] = {
      {"refuse", &sim::LoginItemState::refuse},
      {"refuseRegister", &sim::LoginItemState::refuseRegister},
      {"refuseUnregister", &sim::LoginItemState::refuseUnregister},
      {"requiresApproval", &sim::LoginItemState::requiresApproval},
      {"switchedOff", &sim::LoginItemState::switchedOff},
      {"signatureRejected", &sim::LoginItemState::signatureRejected},
  };
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  for (auto it = asObject(j, "loginItem").begin(); it != j.end(); ++it) {
    const std::string& key = it.key();
    const Json& v = it.value();
    const auto flag = std::find_if(std::begin(kFlags), std::end(kFlags),
                                   [&](const auto& f) { return f.first == key; });
    if (flag != std::end(kFlags)) {
      state.*(flag->second) = asBool(v, key);
    } else if (key == "status") {
      state.status = asInt(v, key, kMin, kMax);
    } else if (key == "refusalDescription") {
      state.refusalDescription = asOptionalString(v, key);
    } else if (key == "refusalDomain") {
      state.refusalDomain = asString(v, key);
    } else if (key == "refusalCode") {
      state.refusalCode = asInt(v, key, kMin, kMax);
    } else {
      unknownKey("loginItem", key);
    }
  }
  steps.push_back([&world, state] { world.loginItem() = state; });
}

void parseFaults(sim::World& world, const Json& j, Steps& steps) {
  sim::Faults faults = world.faults();
  struct Flag {
    const char* name;
    bool sim::Faults::*member;
  };
  static constexpr Flag kFlags[] = {
      {"tapCreateFails", &sim::Faults::tapCreateFails},
      {"runLoopSourceFails", &sim::Faults::runLoopSourceFails},
      {"eventSourceFails", &sim::Faults::eventSourceFails},
      {"allKeyboardEventsFail", &sim::Faults::allKeyboardEventsFail},
      {"rangeValueCreateFails", &sim::Faults::rangeValueCreateFails},
      {"pasteboardItemsNil", &sim::Faults::pasteboardItemsNil},
      {"pasteboardWriteFails", &sim::Faults::pasteboardWriteFails},
      {"inputSourceListNil", &sim::Faults::inputSourceListNil},
      {"inputSourceListNotArray", &sim::Faults::inputSourceListNotArray},
      {"inputSourceListHoldsNonSources", &sim::Faults::inputSourceListHoldsNonSources},
      {"pasteboardTypesFail", &sim::Faults::pasteboardTypesFail},
      {"keyLayoutDataMissing", &sim::Faults::keyLayoutDataMissing},
      {"systemWideFocusFails", &sim::Faults::systemWideFocusFails},
      {"activationWithoutApplication", &sim::Faults::activationWithoutApplication},
  };
  for (auto it = asObject(j, "faults").begin(); it != j.end(); ++it) {
    const std::string& key = it.key();
    if (key == "pasteboardWritesDuringRead" || key == "pasteboardWritesBetweenItems") {
      auto& texts = key == "pasteboardWritesDuringRead" ? faults.pasteboardWritesDuringRead
                                                        : faults.pasteboardWritesBetweenItems;
      texts.clear();
      for (const Json& text : asArray(it.value(), key)) texts.push_back(asString(text, key));
      continue;
    }
    if (key == "keyboardEventFailures" || key == "setDataFailures") {
      auto& indices =
          key == "setDataFailures" ? faults.setDataFailures : faults.keyboardEventFailures;
      indices.clear();
      for (const Json& index : asArray(it.value(), key)) {
        indices.insert(asInt(index, key, 0, std::numeric_limits<int64_t>::max()));
      }
      continue;
    }
    bool found = false;
    for (const Flag& flag : kFlags) {
      if (key == flag.name) {
        faults.*flag.member = asBool(it.value(), key);
        found = true;
      }
    }
    if (!found) unknownKey("faults", key);
  }
  steps.push_back([&world, faults] { world.faults() = faults; });
}

// NSPasteboardAccessBehavior by name, or its raw value (to model one this build does not know).
int64_t parseAccessBehaviour(const Json& j) {
  if (!j.is_string()) {
    return asInt(j, "pasteboardAccessBehavior", std::numeric_limits<int64_t>::min(),
                 std::numeric_limits<int64_t>::max());
  }
  const std::string name = j.get<std::string>();
  if (name == "default") return platform::kNSPasteboardAccessBehaviorDefault;
  if (name == "ask") return platform::kNSPasteboardAccessBehaviorAsk;
  if (name == "alwaysAllow") return platform::kNSPasteboardAccessBehaviorAlwaysAllow;
  if (name == "alwaysDeny") return platform::kNSPasteboardAccessBehaviorAlwaysDeny;
  throw ScriptError(
      "\"pasteboardAccessBehavior\" must be \"default\", \"ask\", \"alwaysAllow\", "
      "\"alwaysDeny\" or an integer");
}

void parseWindow(sim::World& world, const Json& j, Steps& steps) {
  sim::WindowState window = world.window();
  for (auto it = asObject(j, "window").begin(); it != j.end(); ++it) {
    const std::string& key = it.key();
    const Json& v = it.value();
    if (key == "visible") {
      window.visible = asBool(v, key);
    } else if (key == "x" || key == "y" || key == "width" || key == "height") {
      double d = asNumber(v, key);
      if (!std::isfinite(d)) throw ScriptError(inQuotes(key) + " must be finite");
      (key == "x"       ? window.x
       : key == "y"     ? window.y
       : key == "width" ? window.width
                        : window.height) = d;
    } else {
      unknownKey("window", key);
    }
  }
  steps.push_back([&world, window] { world.window() = window; });
}

platform::EventType clickType(const std::string& button) {
  if (button == "left") return platform::kCGEventLeftMouseDown;
  if (button == "right") return platform::kCGEventRightMouseDown;
  if (button == "other") return platform::kCGEventOtherMouseDown;
  throw ScriptError("\"click\" must be \"left\", \"right\" or \"other\"");
}

uint16_t asKeycode(const Json& j, std::string_view key) {
  return static_cast<uint16_t>(asInt(j, key, 0, 127));
}

// Seconds after a prompt that the user grants, or null for never.
std::optional<sim::Micros> asAnswerDelay(const Json& j, std::string_view key) {
  if (j.is_null()) return std::nullopt;
  return asSeconds(j, std::string(key), 86400);
}

void parsePromptAnswers(sim::World& world, const Json& j, Steps& steps) {
  sim::PromptAnswers answers;
  for (auto it = asObject(j, "promptAnswers").begin(); it != j.end(); ++it) {
    const std::string& key = it.key();
    if (key == "accessibility") {
      answers.accessibility = asAnswerDelay(it.value(), key);
    } else if (key == "listen") {
      answers.listen = asAnswerDelay(it.value(), key);
    } else if (key == "post") {
      answers.post = asAnswerDelay(it.value(), key);
    } else {
      unknownKey("promptAnswers", key);
    }
  }
  steps.push_back([&world, answers] { world.setPromptAnswers(answers); });
}

// "userData" and "chars" of a key action: what another process's event carries.
sim::KeyEventExtras keyExtras(const Json& action) {
  sim::KeyEventExtras extras;
  if (action.contains("userData")) {
    extras.userData = asInt(action["userData"], "userData", std::numeric_limits<int64_t>::min(),
                            std::numeric_limits<int64_t>::max());
  }
  if (action.contains("chars")) {
    extras.chars = text::utf8ToUtf16(asString(action["chars"], "chars"));
  }
  return extras;
}

// The permission named by "grant" / "revoke".
std::function<void(bool)> permissionSetter(sim::World& world, const Json& j, std::string_view key) {
  std::string name = asString(j, key);
  if (name == "accessibility") return [&world](bool on) { world.setTrusted(on); };
  if (name == "listen") return [&world](bool on) { world.setListenAccess(on); };
  if (name == "post") return [&world](bool on) { world.setPostAccess(on); };
  throw ScriptError(inQuotes(key) + " must be \"accessibility\", \"listen\" or \"post\"");
}

constexpr uint16_t kKeyC = 8;
constexpr uint16_t kKeyV = 9;
constexpr uint16_t kKeyLeftCommand = 55;

// The user holds Command and presses a key, as for Cmd+C and Cmd+V.
void commandChord(sim::World& world, uint16_t key) {
  world.keyDown(kKeyLeftCommand);
  world.pressKey(key);
  world.keyUp(kKeyLeftCommand);
}

constexpr uint16_t kKeyLeftShift = 56;

// Presses the keys that bear `labels` on a US keyboard, whatever layout is selected: the user
// typing blind in the layout they believe is active.
void typeUsKeys(sim::World& world, const std::string& labels) {
  std::vector<std::pair<uint16_t, bool>> keys;
  for (char16_t ch : text::utf8ToUtf16(labels)) {
    std::optional<std::pair<uint16_t, bool>> key = sim::World::keyFor("us", ch);
    if (!key) throw ScriptError("no key of a US keyboard bears \"" + labels + "\"");
    keys.push_back(*key);
  }
  for (auto [code, shift] : keys) {
    if (shift) world.keyDown(kKeyLeftShift);
    world.pressKey(code);
    if (shift) world.keyUp(kKeyLeftShift);
  }
}

}  // namespace

namespace {

Steps worldSteps(sim::World& world, const Json& settings) {
  Steps steps;
  for (auto it = asObject(settings, "world").begin(); it != settings.end(); ++it) {
    const std::string& key = it.key();
    const Json& v = it.value();
    if (key == "apps") {
      parseApps(world, v, steps);
    } else if (key == "frontmost") {
      std::optional<int32_t> pid;
      if (!v.is_null()) pid = asPid(v, key);
      steps.push_back([&world, pid] { world.setFrontmost(pid); });
    } else if (key == "systemWideFocus") {
      std::optional<int32_t> pid;
      if (!v.is_null()) pid = asPid(v, key);
      if (pid && !appKnownAfter(world, settings, *pid)) {
        throw ScriptError("no application with pid " + v.dump());
      }
      steps.push_back([&world, pid] { world.setSystemWideFocus(pid); });
    } else if (key == "promptAnswers") {
      parsePromptAnswers(world, v, steps);
    } else if (key == "pasteboard") {
      parsePasteboard(world, v, steps);
    } else if (key == "pasteboardAccessBehavior") {
      steps.push_back([&world, behaviour = parseAccessBehaviour(v)] {
        world.pasteboardAccessBehavior() = behaviour;
      });
    } else if (key == "inputSources") {
      parseInputSources(world, v, steps);
    } else if (key == "selectedInputSource") {
      std::string id = asString(v, key);
      if (!sourceKnownAfter(world, settings, id)) {
        throw ScriptError("no input source \"" + id + "\"");
      }
      steps.push_back([&world, id] { world.selectInputSourceById(id); });
    } else if (key == "inputSourceListOrder") {
      std::vector<std::string> ids;
      for (const Json& id : asArray(v, key)) {
        ids.push_back(asString(id, key));
        if (!sourceKnownAfter(world, settings, ids.back())) {
          throw ScriptError("no input source \"" + ids.back() + "\"");
        }
      }
      steps.push_back([&world, ids = std::move(ids)] { world.setInputSourceListOrder(ids); });
    } else if (key == "translocated") {
      steps.push_back([&world, on = asBool(v, key)] { world.setTranslocated(on); });
    } else if (key == "trusted") {
      steps.push_back([&world, on = asBool(v, key)] { world.setTrusted(on); });
    } else if (key == "listenAccess") {
      steps.push_back([&world, on = asBool(v, key)] { world.setListenAccess(on); });
    } else if (key == "postAccess") {
      steps.push_back([&world, on = asBool(v, key)] { world.setPostAccess(on); });
    } else if (key == "osVersion") {
      steps.push_back(
          [&world, version = parseVersion(v)] { world.setOperatingSystemVersion(version); });
    } else if (key == "hostPid") {
      steps.push_back([&world, pid = asPid(v, key)] { world.setHostPid(pid); });
    } else if (key == "hostActive") {
      steps.push_back([&world, on = asBool(v, key)] { world.setHostActive(on); });
    } else if (key == "tapTimeout") {
      const double micros = asNumber(v, key);
      if (!(micros >= 0) || micros > 1e15) throw ScriptError("\"tapTimeout\" must be 0 or more");
      steps.push_back([&world, micros] { world.setTapTimeout(static_cast<sim::Micros>(micros)); });
    } else if (key == "appNap") {
      const double seconds = asNumber(v, key);
      if (!(seconds >= 0) || seconds > 86400) throw ScriptError("\"appNap\" takes 0 to 86400");
      const auto period = static_cast<sim::Micros>(std::llround(seconds * 1e6));
      steps.push_back([&world, period] { world.setAppNap(period); });
    } else if (key == "loginItem") {
      parseLoginItem(world, v, steps);
    } else if (key == "faults") {
      parseFaults(world, v, steps);
    } else if (key == "window") {
      parseWindow(world, v, steps);
    } else if (key == "secureInput") {
      steps.push_back([&world, on = asBool(v, key)] { world.setSecureInput(on); });
    } else if (key == "localEventsSuppression") {
      steps.push_back([&world, on = asBool(v, key)] { world.setLocalEventsSuppression(on); });
    } else if (key == "recordWindow") {
      const auto entries = static_cast<size_t>(asInt(v, key, 0, 1'000'000));
      steps.push_back([&world, entries] { world.setRecordWindow(entries); });
    } else {
      unknownKey("world", key);
    }
  }
  return steps;
}

}  // namespace

void checkWorld(sim::World& world, const Json& settings) {
  worldSteps(world, settings);
}

void applyWorld(sim::World& world, const Json& settings) {
  Steps steps = worldSteps(world, settings);
  world.note("world", settings.dump(-1, ' ', false, Json::error_handler_t::replace));
  for (auto& step : steps) step();
}

void applyUserAction(SimContext& context, const Json& action) {
  sim::World& world = context.world;
  asObject(action, "user");
  if (action.empty()) throw ScriptError("\"user\" needs an action");
  const std::string& verb = action.begin().key();
  const Json& v = action.front();
  auto allow = [&](std::initializer_list<std::string_view> keys) {
    for (auto it = action.begin(); it != action.end(); ++it) {
      bool known = false;
      for (std::string_view k : keys) known = known || it.key() == k;
      if (!known) throw ScriptError("unknown key " + inQuotes(it.key()) + " for " + inQuotes(verb));
    }
  };
  if (verb == "keyDown") {
    allow({"keyDown", "repeat", "userData", "chars"});
    bool repeat = action.contains("repeat") ? asBool(action["repeat"], "repeat") : false;
    world.keyDown(asKeycode(v, verb), repeat, keyExtras(action));
  } else if (verb == "keyUp") {
    allow({"keyUp", "userData", "chars"});
    world.keyUp(asKeycode(v, verb), keyExtras(action));
  } else if (verb == "press") {
    allow({"press", "userData", "chars"});
    const uint16_t code = asKeycode(v, verb);
    const sim::KeyEventExtras extras = keyExtras(action);
    world.keyDown(code, false, extras);
    world.keyUp(code, extras);
  } else if (verb == "flagsChanged") {
    allow({"flagsChanged", "flags", "userData", "chars"});
    const auto code = static_cast<uint16_t>(asInt(v, verb, 0, 0xFFFF));  // any CGKeyCode
    const sim::KeyEventExtras extras = keyExtras(action);
    platform::EventFlags flags = world.heldFlags();
    if (action.contains("flags")) {
      flags = static_cast<platform::EventFlags>(
          asInt(action["flags"], "flags", 0, std::numeric_limits<int64_t>::max()));
    }
    world.flagsChanged(code, flags, extras);
  } else if (verb == "type") {
    allow({"type"});
    std::string s = asString(v, verb);
    if (!world.typeOnKeys(text::utf8ToUtf16(s))) {
      throw ScriptError("the " + world.selectedLayout() + " layout has no key for some of \"" + s +
                        "\"");
    }
  } else if (verb == "keys") {
    allow({"keys"});
    typeUsKeys(world, asString(v, verb));
  } else if (verb == "modifier") {
    allow({"modifier", "down"});
    uint16_t code = asKeycode(v, verb);
    if (code < 54 || code > 63) throw ScriptError("\"modifier\" takes a key code from 54 to 63");
    if (!action.contains("down")) throw ScriptError("\"modifier\" needs \"down\": true or false");
    if (asBool(action["down"], "down")) {
      world.keyDown(code);
    } else {
      world.keyUp(code);
    }
  } else if (verb == "click") {
    allow({"click", "userData"});
    world.click(clickType(asString(v, verb)), keyExtras(action).userData);
  } else if (verb == "activate") {
    allow({"activate"});
    int32_t pid = asPid(v, verb);
    if (!world.application(pid)) throw ScriptError("no application with pid " + v.dump());
    world.activate(pid);
  } else if (verb == "focus") {
    allow({"focus"});
    std::optional<int32_t> owner = world.focusOwner();
    sim::AppState* app = owner ? world.application(*owner) : nullptr;
    if (!app) throw ScriptError("\"focus\" needs a frontmost application");
    // Focus moves to a new element: nothing of the old one carries over.
    app->focused = parseFocused(v, std::nullopt);
  } else if (verb == "selectRange") {
    allow({"selectRange"});
    sim::ElementState* element = world.focusedElement();
    if (!element) throw ScriptError("\"selectRange\" needs a focused element");
    // The user can only select text that is there.
    world.selectRange(asRange(v, verb));
  } else if (verb == "copy" || verb == "paste") {
    allow({verb});
    // The key that bears the letter on the user's keyboard: the one that types it under the
    // selected layout, or the US key when the layout has no Latin letters.
    const bool copy = verb == "copy";
    const auto key = sim::World::keyFor(world.selectedLayout(), copy ? u'c' : u'v');
    const uint16_t code = key && !key->second ? key->first : (copy ? kKeyC : kKeyV);
    if (asBool(v, verb)) commandChord(world, code);
  } else if (verb == "grant" || verb == "revoke") {
    allow({verb});
    permissionSetter(world, v, verb)(verb == "grant");
  } else if (verb == "deleteRow") {
    // Removed with "-" rather than switched off: the running host's AXIsProcessTrusted keeps
    // its answer, taps lose the grant.
    allow({"deleteRow"});
    if (asString(v, verb) != "accessibility") {
      throw ScriptError("\"deleteRow\" takes \"accessibility\"");
    }
    world.deleteAccessibilityRow();
  } else if (verb == "resign") {
    allow({"resign"});
    if (asBool(v, verb)) world.resignApp();
  } else if (verb == "selectInputSource") {
    allow({"selectInputSource"});
    std::string id = asString(v, verb);
    bool known = false;
    for (const sim::InputSourceState& s : world.inputSourceList()) known |= s.id == id;
    if (!known) throw ScriptError("no input source \"" + id + "\"");
    world.userSelectInputSource(id);
  } else if (verb == "loginItemSwitch") {
    allow({"loginItemSwitch"});
    world.switchLoginItem(asBool(v, verb));
  } else if (verb == "tapTimeout") {
    allow({"tapTimeout"});
    if (asBool(v, verb)) world.disableTapsByTimeout();
  } else if (verb == "secureInput") {
    // A password field gains or loses focus, or an application switches secure entry on or off.
    allow({"secureInput"});
    world.setSecureInput(asBool(v, verb));
  } else if (verb == "tapDisabled") {
    allow({"tapDisabled"});
    const std::string reason = asString(v, verb);
    if (reason == "timeout") {
      world.disableTapsByTimeout();
    } else if (reason == "userInput") {
      world.disableTapsByUserInput();
    } else {
      throw ScriptError("\"tapDisabled\" must be \"timeout\" or \"userInput\"");
    }
  } else if (verb == "quit") {
    allow({"quit"});
    int32_t pid = asPid(v, verb);
    if (!world.application(pid)) throw ScriptError("no application with pid " + v.dump());
    world.removeApplication(pid);
  } else if (verb == "sleep") {
    allow({"sleep"});
    const std::string effect = asString(v, verb);
    if (effect != "disableTaps" && effect != "invalidateTaps") {
      throw ScriptError("\"sleep\" takes \"disableTaps\" or \"invalidateTaps\"");
    }
    world.sleepMachine(effect == "disableTaps" ? sim::World::SleepEffect::kDisableTaps
                                               : sim::World::SleepEffect::kInvalidatePorts);
  } else if (verb == "lockScreen") {
    allow({"lockScreen"});
    const std::string effect = asString(v, verb);
    if (effect == "keepTaps") {
      world.lockScreen(std::nullopt);
    } else if (effect == "disableTaps" || effect == "invalidateTaps") {
      world.lockScreen(effect == "disableTaps" ? sim::World::SleepEffect::kDisableTaps
                                               : sim::World::SleepEffect::kInvalidatePorts);
    } else {
      throw ScriptError("\"lockScreen\" takes \"keepTaps\", \"disableTaps\" or \"invalidateTaps\"");
    }
  } else if (verb == "unlockScreen") {
    allow({"unlockScreen"});
    if (asBool(v, verb)) world.unlockScreen();
  } else if (verb == "wake") {
    allow({"wake"});
    if (asBool(v, verb)) world.wake();
  } else if (verb == "switchUserBack") {
    allow({"switchUserBack"});
    if (asBool(v, verb)) world.sessionBecameActive();
  } else if (verb == "hostActive") {
    allow({"hostActive"});
    world.setHostActive(asBool(v, verb));
  } else if (verb == "notify") {
    allow({"notify"});
    world.postDistributedNotification(asString(v, verb));
  } else if (verb == "close") {
    allow({"close"});
    if (asBool(v, verb)) {
      if (context.window) {
        sim::app::closeWindow(*context.window);
      } else {
        world.window().visible = false;
      }
    }
  } else {
    throw ScriptError("unknown user action " + inQuotes(verb));
  }
}

}  // namespace simhost
