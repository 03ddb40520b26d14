// The input-source plug-in: switches the active keyboard input source to one that serves
// Russian or English, on request of the Flutter side over "velloc/input_source".
#pragma once

#include <memory>
#include <string_view>

#include "channel/method_channel.h"
#include "channel/plugin_registrar.h"
#include "channel/standard_codec.h"
#include "platform/platform.h"
#include "velloc/velloc_plugin_c_api.h"

namespace velloc {

inline constexpr std::string_view kChannelName = "velloc/input_source";

// The "bad_lang" error: the message is kBadLangPrefix + the lowercased value + "'".
inline constexpr std::string_view kBadLangCode = "bad_lang";
inline constexpr std::string_view kBadLangPrefix = "Expected lang=ru|en, got '";

// The keyboard layout of each language that the user selected last.
struct LayoutMemory;

class VellocPlugin : public channel::Plugin {
 public:
  // Starts watching the user's selections of input sources (and takes the selected one as the
  // first); the watch ends with the plug-in.
  explicit VellocPlugin(platform::Platform& platform);
  ~VellocPlugin() override;
  VellocPlugin(const VellocPlugin&) = delete;
  VellocPlugin& operator=(const VellocPlugin&) = delete;

  // Creates the channel on the registrar's messenger and one plug-in that the registrar keeps
  // as its method-call delegate. The first form works on the process's platform.
  static void registerWithRegistrar(channel::PluginRegistrar& registrar);
  static void registerWithRegistrar(channel::PluginRegistrar& registrar,
                                    platform::Platform& platform);

  // "select" with {"lang": "ru" | "en"} (any case); other methods are not implemented. The
  // answer is null once the switch was attempted, whether it worked or not: failures only
  // reach the log.
  void handleMethodCall(const channel::MethodCall& call,
                        std::unique_ptr<channel::MethodResult> result) override;

  // Selects the enabled, selectable keyboard source for `lang`, among keyboard layouts first
  // (input methods and their modes only when no layout serves it): the layout of that language
  // the user selected last; for "en", the ASCII-capable layout used last when it serves English;
  // else the first in the system's list whose first language is `lang`, else the first that
  // lists it anywhere. Logs one "[Velloc] " line when nothing is selected.
  void selectInputSource(std::string_view lang);

 private:
  platform::Platform& platform_;
  std::shared_ptr<LayoutMemory> memory_;  // the observer's block holds it weakly
  platform::ObserverToken observer;
};

// The C entry's view of a registrar, for hosts written in C++.
inline VellocRegistrarRef registrarRef(channel::PluginRegistrar& registrar) {
  return reinterpret_cast<VellocRegistrarRef>(&registrar);
}

}  // namespace velloc
