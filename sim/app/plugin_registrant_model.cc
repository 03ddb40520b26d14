#include "sim/app/plugin_registrant_model.h"

#include "runner/tandrel_plugin.h"

namespace sim::app {
namespace {

// The seven open-source plug-ins are native code of their own on macOS, outside this system.
// On the portable hosts they have no native side, so their registration installs nothing; the
// registrar is still asked for, keeping names and order identical on every host.
void outsidePlugin(channel::PluginRegistrar&) {}

void tandrelPlugin(channel::PluginRegistrar& registrar) {
  (void)tandrel::TandrelPlugin::registerWithRegistrar(
      registrar);  // which handlers serve it is its own
}

}  // namespace

const std::array<GeneratedPlugin, 8> kGeneratedPlugins = {{
    {"emoji_picker_flutter", "EmojiPickerFlutterPlugin", outsidePlugin},
    {"package_info_plus", "FPPPackageInfoPlusPlugin", outsidePlugin},
    {"screen_retriever_macos", "ScreenRetrieverMacosPlugin", outsidePlugin},
    {"shared_preferences_foundation", "SharedPreferencesPlugin", outsidePlugin},
    {"tandrel", tandrel::TandrelPlugin::kRegistrarName, tandrelPlugin},
    {"tray_manager", "TrayManagerPlugin", outsidePlugin},
    {"url_launcher_macos", "UrlLauncherPlugin", outsidePlugin},
    {"window_manager", "WindowManagerPlugin", outsidePlugin},
}};

void registerGeneratedPlugins(channel::PluginRegistry& registry) {
  for (const GeneratedPlugin& plugin : kGeneratedPlugins) {
    plugin.registerWithRegistrar(registry.registrarForPlugin(std::string(plugin.registrarName)));
  }
}

}  // namespace sim::app
