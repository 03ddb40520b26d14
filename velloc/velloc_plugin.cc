#include "velloc/velloc_plugin.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "channel/arguments.h"
#include "text/text.h"

namespace velloc {
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

}  // namespace

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
    selectInputSource(platform_, lang);
    result->success();
    return;
  }
  std::string message;
  message.reserve(kBadLangPrefix.size() + lang.size() + 1);
  message.append(kBadLangPrefix).append(lang).append("'");
  result->error(std::string(kBadLangCode), std::move(message));
}

void VellocPlugin::selectInputSource(platform::Platform& platform, std::string_view lang) {
  platform::InputSources& sources = platform.inputSources();
  const platform::InputSourceFilter filter{
      .category = std::string(platform::kTISCategoryKeyboardInputSource),
      .isEnabled = true,
      .isSelectCapable = true,
  };
  std::optional<std::vector<platform::InputSource>> list =
      sources.createInputSourceList(filter, /*includeAllInstalled=*/false);
  if (!list) {
    logLine(platform, kListNilLog, lang);
    return;
  }

  // A source that has the language first wins over an earlier one that merely lists it; of
  // those, the first in list order is kept as the fallback.
  const platform::InputSource* chosen = nullptr;
  const platform::InputSource* fallback = nullptr;
  for (const platform::InputSource& source : *list) {
    const std::vector<std::string> languages = stringLanguages(sources, source);
    if (!languages.empty() && languages.front() == lang) {
      chosen = &source;
      break;
    }
    if (fallback == nullptr) {
      for (const std::string& language : languages) {
        if (language == lang) {
          fallback = &source;
          break;
        }
      }
    }
  }
  if (chosen == nullptr) chosen = fallback;
  if (chosen == nullptr) {
    // Also the answer for an empty list.
    logLine(platform, kNoSourceLog, lang);
    return;
  }

  const int32_t status = sources.select(*chosen);
  if (status != 0) {
    std::string text(kSelectFailedLog);
    text.append(std::to_string(status)).append(") for lang=");
    logLine(platform, text, lang);
  }
}

}  // namespace velloc

extern "C" VELLOC_EXPORT void VellocPluginRegisterWithRegistrar(VellocRegistrarRef registrar) {
  if (registrar == nullptr) return;
  velloc::VellocPlugin::registerWithRegistrar(
      *reinterpret_cast<channel::PluginRegistrar*>(registrar));
}
