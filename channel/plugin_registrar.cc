#include "channel/plugin_registrar.h"

#include <utility>

namespace channel {

void Plugin::handleMethodCall(const MethodCall&, std::unique_ptr<MethodResult> result) {
  result->notImplemented();
}

void PluginRegistrar::addMethodCallDelegate(std::shared_ptr<Plugin> plugin,
                                            std::unique_ptr<MethodChannel> channel) {
  if (!plugin || !channel) return;
  channel->setMethodCallHandler(
      [plugin](const MethodCall& call, std::unique_ptr<MethodResult> result) {
        plugin->handleMethodCall(call, std::move(result));
      });
  plugins_.push_back(std::move(plugin));
  channels_.push_back(std::move(channel));
}

void PluginRegistrar::addPlugin(std::shared_ptr<Plugin> plugin) {
  if (plugin) plugins_.push_back(std::move(plugin));
}

PluginRegistrar& PluginRegistry::registrarForPlugin(const std::string& name) {
  for (auto& [existing, registrar] : registrars_) {
    if (existing == name) return *registrar;
  }
  registrars_.emplace_back(name, std::make_unique<PluginRegistrar>(messenger_));
  return *registrars_.back().second;
}

std::vector<std::string> PluginRegistry::registrarNames() const {
  std::vector<std::string> names;
  names.reserve(registrars_.size());
  for (const auto& entry : registrars_) names.push_back(entry.first);
  return names;
}

}  // namespace channel
