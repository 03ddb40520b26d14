// A model of the app's generated plug-in registrant for the simulation: the Flutter plug-ins the
// application uses, registered as Flutter's GeneratedPluginRegistrant.swift does on a Mac, sorted
// by package name, this package's among them.
#pragma once

#include <array>
#include <string_view>

#include "channel/plugin_registrar.h"

namespace sim::app {

struct GeneratedPlugin {
  std::string_view package;        // the Flutter package that ships it
  std::string_view registrarName;  // the name its registrar is asked for
  void (*registerWithRegistrar)(channel::PluginRegistrar& registrar);
};

// In registration order: this package ("tandrel") fifth, between the outside plug-ins.
extern const std::array<GeneratedPlugin, 8> kGeneratedPlugins;

// For each plug-in in order: asks the registry for a registrar by name, then hands it to the
// plug-in's registration entry.
void registerGeneratedPlugins(channel::PluginRegistry& registry);

}  // namespace sim::app
