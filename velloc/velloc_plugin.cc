#include "velloc/velloc_plugin.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "channel/arguments.h"
#include "text/text.h"

namespace velloc {

struct LayoutMemory {
  std::string ru;  // source ids; empty while none was seen
  std::string en;
  std::string* of(std::string_view lang) {
    if (lang == "ru") return &ru;
    if (lang == "en") return &en;
    return nullptr;
  }
};

namespace {

constexpr std::string_view kSelectMethod = "select";
constexpr std::string_view kLangKey = "lang";

// Log texts; the language code (and the status) are appended where the line says.
constexpr std::string_view kListNilLog = "[Velloc] TISCreateInputSourceList returned nil for lang=";
constexpr std::string_view kNoSourceLog = "[Velloc] no enabled input source for lang=";
constexpr std::string_view kSelectFailedLog = "[Velloc] TISSelectInputSource failed (status=";

void logLine(platform::Platform& platform, std::string_view text, std::string_view lang) {
  std::string line;
  line.reserve(text.size() + lang.size());
  line.append(text).append(lang);
  platform.log().write(line);
}

// Only the string entries of a source's languages count, in their order.
std::vector<std::string> stringLanguages(platform::InputSources& sources,
                                         const platform::InputSource& source) {
  std::vector<std::string> result;
  std::optional<std::vector<std::optional<std::string>>> languages = sources.languages(source);
  if (!languages) return result;
  for (std::optional<std::string>& language : *languages) {
    if (language) result.push_back(std::move(*language));
  }
  return result;
}

bool lists(const std::vector<std::string>& languages, std::string_view lang) {
  return std::find(languages.begin(), languages.end(), lang) != languages.end();
}

// A source on offer, read once.
struct Candidate {
  const platform::InputSource* source = nullptr;
  std::optional<std::string> id;
  std::vector<std::string> languages;
};

// The first candidate whose first language is `lang`, else the first that lists it anywhere: a
// source that has the language first wins over an earlier one that merely lists it.
const Candidate* inListOrder(const std::vector<Candidate>& candidates, std::string_view lang) {
  const Candidate* fallback = nullptr;
  for (const Candidate& candidate : candidates) {
    if (!candidate.languages.empty() && candidate.languages.front() == lang) return &candidate;
    if (fallback == nullptr && lists(candidate.languages, lang)) fallback = &candidate;
  }
  return fallback;
}

const Candidate* withId(const std::vector<Candidate>& candidates, std::string_view id) {
  if (id.empty()) return nullptr;
  for (const Candidate& candidate : candidates) {
    if (candidate.id == id) return &candidate;
  }
  return nullptr;
}

// The selected source becomes the one of its language when it is a keyboard layout (an input
// method's mode is not what the user types "ru" or "en" with) of a language served here.
void rememberSelection(platform::InputSources& sources, LayoutMemory& memory) {
  const platform::InputSource current = sources.copyCurrentKeyboardInputSource();
  if (!current || sources.sourceType(current) != platform::kTISTypeKeyboardLayout) return;
  const std::vector<std::string> languages = stringLanguages(sources, current);
  std::string* slot = languages.empty() ? nullptr : memory.of(languages.front());
  if (slot == nullptr) return;
  if (std::optional<std::string> id = sources.sourceID(current)) *slot = std::move(*id);
}

}  // namespace

VellocPlugin::VellocPlugin(platform::Platform& platform)
    : platform_(platform), memory_(std::make_shared<LayoutMemory>()) {
  rememberSelection(platform.inputSources(), *memory_);
  // Delivered at once: the host is hidden and not the active application almost always, and a
  // notice held meanwhile would come only when it is activated, coalesced to the last one.
  observer = platform.distributedNotifications().addObserver(
      platform::kTISNotifySelectedKeyboardInputSourceChanged,
      platform::SuspensionBehavior::kDeliverImmediately,
      [&platform, weak = std::weak_ptr<LayoutMemory>(memory_)] {
        // A notice already queued when the plug-in went finds no memory.
        if (const std::shared_ptr<LayoutMemory> memory = weak.lock()) {
          rememberSelection(platform.inputSources(), *memory);
        }
      });
}

VellocPlugin::~VellocPlugin() {
  platform_.distributedNotifications().removeObserver(observer);
}

void VellocPlugin::registerWithRegistrar(channel::PluginRegistrar& registrar) {
  registerWithRegistrar(registrar, platform::processPlatform());
}

void VellocPlugin::registerWithRegistrar(channel::PluginRegistrar& registrar,
                                         platform::Platform& platform) {
  auto methodChannel =
      std::make_unique<channel::MethodChannel>(registrar.messenger(), std::string(kChannelName));
  registrar.addMethodCallDelegate(std::make_shared<VellocPlugin>(platform),
                                  std::move(methodChannel));
}

void VellocPlugin::handleMethodCall(const channel::MethodCall& call,
                                    std::unique_ptr<channel::MethodResult> result) {
  if (call.method != kSelectMethod) {
    result->notImplemented();
    return;
  }
  const std::optional<std::string_view> given =
      channel::stringArg(channel::argumentsMap(call.arguments), kLangKey);
  // No trimming: " ru" is as wrong as "de".
  const std::string lang = given ? text::lowercase(*given) : std::string();
  if (lang == "ru" || lang == "en") {
    selectInputSource(lang);
    result->success();
    return;
  }
  std::string message;
  message.reserve(kBadLangPrefix.size() + lang.size() + 1);
  message.append(kBadLangPrefix).append(lang).append("'");
  result->error(std::string(kBadLangCode), std::move(message));
}

void VellocPlugin::selectInputSource(std::string_view lang) {
  platform::InputSources& sources = platform_.inputSources();
  const platform::InputSourceFilter filter{
      .category = std::string(platform::kTISCategoryKeyboardInputSource),
      .isEnabled = true,
      .isSelectCapable = true,
  };
  std::optional<std::vector<platform::InputSource>> list =
      sources.createInputSourceList(filter, /*includeAllInstalled=*/false);
  if (!list) {
    logLine(platform_, kListNilLog, lang);
    return;
  }

  // Selecting an input method's mode from the background may change the menu's icon and not
  // what the front application types; a keyboard layout switches reliably.
  std::vector<Candidate> layouts;
  std::vector<Candidate> others;
  for (const platform::InputSource& source : *list) {
    Candidate candidate{&source, sources.sourceID(source), stringLanguages(sources, source)};
    const bool layout = sources.sourceType(source) == platform::kTISTypeKeyboardLayout;
    (layout ? layouts : others).push_back(std::move(candidate));
  }
  // The list's order is not the Input menu's, and a user may have several layouts of a
  // language: the one they used last is the one they mean.
  const std::string* remembered = memory_->of(lang);
  const Candidate* chosen = remembered ? withId(layouts, *remembered) : nullptr;
  if (chosen == nullptr && lang == "en") {
    const platform::InputSource ascii = sources.copyCurrentASCIICapableKeyboardLayoutInputSource();
    const std::optional<std::string> id = ascii ? sources.sourceID(ascii) : std::nullopt;
    const Candidate* candidate = id ? withId(layouts, *id) : nullptr;
    if (candidate != nullptr && lists(candidate->languages, lang)) chosen = candidate;
  }
  if (chosen == nullptr) chosen = inListOrder(layouts, lang);
  if (chosen == nullptr) chosen = inListOrder(others, lang);
  if (chosen == nullptr) {
    // Also the answer for an empty list.
    logLine(platform_, kNoSourceLog, lang);
    return;
  }

  const int32_t status = sources.select(*chosen->source);
  if (status != 0) {
    std::string text(kSelectFailedLog);
    text.append(std::to_string(status)).append(") for lang=");
    logLine(platform_, text, lang);
  }
}

}  // namespace velloc

extern "C" VELLOC_EXPORT void VellocPluginRegisterWithRegistrar(VellocRegistrarRef registrar) {
  if (registrar == nullptr) return;
  velloc::VellocPlugin::registerWithRegistrar(
      *reinterpret_cast<channel::PluginRegistrar*>(registrar));
}
