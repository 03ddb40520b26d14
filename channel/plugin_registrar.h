// Plug-in registration: the registry hands out one registrar per plug-in name; a
// registrar gives access to the messenger and keeps its plug-ins and channels alive.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "channel/binary_messenger.h"
#include "channel/method_channel.h"

namespace channel {

class Plugin {
 public:
  virtual ~Plugin() = default;
  // Default: the plug-in answers no method.
  virtual void handleMethodCall(const MethodCall& call, std::unique_ptr<MethodResult> result);
};

class PluginRegistrar {
 public:
  explicit PluginRegistrar(BinaryMessenger& messenger) : messenger_(messenger) {}
  PluginRegistrar(const PluginRegistrar&) = delete;
  PluginRegistrar& operator=(const PluginRegistrar&) = delete;

  BinaryMessenger& messenger() { return messenger_; }

  // Sends every call on `channel` to `plugin`; keeps both for the registrar's lifetime.
  void addMethodCallDelegate(std::shared_ptr<Plugin> plugin,
                             std::unique_ptr<MethodChannel> channel);
  // Keeps a plug-in alive that installs its channels itself.
  void addPlugin(std::shared_ptr<Plugin> plugin);

  const std::vector<std::shared_ptr<Plugin>>& plugins() const { return plugins_; }

 private:
  BinaryMessenger& messenger_;
  std::vector<std::shared_ptr<Plugin>> plugins_;
  std::vector<std::unique_ptr<MethodChannel>> channels_;
};

class PluginRegistry {
 public:
  explicit PluginRegistry(BinaryMessenger& messenger) : messenger_(messenger) {}
  PluginRegistry(const PluginRegistry&) = delete;
  PluginRegistry& operator=(const PluginRegistry&) = delete;

  // Asking again for a name returns the same registrar.
  PluginRegistrar& registrarForPlugin(const std::string& name);
  // Names in the order they were first asked for.
  std::vector<std::string> registrarNames() const;

  BinaryMessenger& messenger() { return messenger_; }

 private:
  BinaryMessenger& messenger_;
  std::vector<std::pair<std::string, std::unique_ptr<PluginRegistrar>>> registrars_;
};

}  // namespace channel
