#import "include/tandrel/TandrelPlugin.h"

#include "channel/plugin_registrar.h"
#include "flutter_messenger_bridge.h"
#include "runner/tandrel_plugin.h"

@implementation TandrelPlugin

+ (void)registerWithRegistrar:(id<FlutterPluginRegistrar>)registrar {
  // The engine's channels are served for the life of the process: the messenger and the
  // registrar that keeps the plug-ins are never freed. The order of the channels and what a
  // further engine gets are the portable core's.
  auto* messenger = new tandrel::macos::FlutterMessengerBridge(registrar.messenger);
  auto* pluginRegistrar = new channel::PluginRegistrar(*messenger);
  (void)tandrel::TandrelPlugin::registerWithRegistrar(*pluginRegistrar);
}

@end
