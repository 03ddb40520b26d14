#include "tools/tandrel_probe.h"

#include <set>
#include <vector>

#include "runner/tandrel_plugin.h"
#include "text/text.h"

namespace probe {
namespace {

// SMAppService exists from macOS 13 on; touching it earlier stops the program.
constexpr int64_t kLoginItemsMajorVersion = 13;

Json dataJson(const platform::SharedBytes& bytes) {
  std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (text::isValidUtf8(view)) return Json(std::string(view));
  Json tagged = Json::object();
  tagged["$bytes"] = simhost::hexOf(std::span<const uint8_t>(bytes.data(), bytes.size()));
  return tagged;
}

}  // namespace

void ProbeBackend::applyWorld(const Json&) {
  throw simhost::ScriptError(std::string(kNotOnRealSystem));
}

void ProbeBackend::applyUserAction(const Json&) {
  throw simhost::ScriptError(std::string(kNotOnRealSystem));
}

void ProbeBackend::schedule(double, bool, bool, Json, LateError) {
  throw simhost::ScriptError(std::string(kNotOnRealSystem));
}

void ProbeBackend::advance(double seconds) {
  hooks_.runMainLoop(seconds);
}

void ProbeBackend::runPending() {
  hooks_.runMainLoop(0);
}

Json ProbeBackend::show(std::string_view what) {
  if (what == "pasteboard") return pasteboardView(platform_.pasteboard());
  if (what == "inputSource") {
    Json source = Json::object();
    std::optional<std::string> id = hooks_.selectedInputSourceID();
    source["id"] = id ? Json(*id) : Json();
    return source;
  }
  if (what == "loginItem") {
    if (platform_.processInfo().operatingSystemVersion().majorVersion < kLoginItemsMajorVersion) {
      return Json();
    }
    Json item = Json::object();
    item["status"] = platform_.loginItems().status();
    return item;
  }
  throw simhost::ScriptError("\"show\": \"" + std::string(what) + "\" is " +
                             std::string(kNotOnRealSystem));
}

Json pasteboardView(platform::Pasteboard& pasteboard) {
  Json items = Json::array();
  for (const platform::PasteboardItem& item :
       pasteboard.pasteboardItems().value_or(std::vector<platform::PasteboardItem>())) {
    Json types = Json::object();
    std::set<std::string> unreadable;  // sorted, as tandrel-sim prints them
    for (const std::string& type : pasteboard.types(item)) {
      if (std::optional<platform::SharedBytes> data = pasteboard.dataForType(item, type)) {
        types[type] = dataJson(*data);
      } else {
        unreadable.insert(type);
      }
    }
    Json entry = Json::object();
    entry["types"] = std::move(types);
    if (!unreadable.empty()) {
      entry["unreadable"] = Json(std::vector<std::string>(unreadable.begin(), unreadable.end()));
    }
    items.push_back(std::move(entry));
  }
  Json view = Json::object();
  view["changeCount"] = pasteboard.changeCount();
  view["items"] = std::move(items);
  return view;
}

void installHost(channel::PluginRegistry& registry) {
  (void)tandrel::TandrelPlugin::registerWithRegistrar(
      registry.registrarForPlugin(std::string(tandrel::TandrelPlugin::kRegistrarName)));
}

}  // namespace probe
