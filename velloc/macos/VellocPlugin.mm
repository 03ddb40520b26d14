#import "velloc/macos/VellocPlugin.h"

#include "channel/plugin_registrar.h"
#include "macos/flutter_messenger_bridge.h"
#include "velloc/velloc_plugin.h"

@implementation VellocPlugin

+ (void)registerWithRegistrar:(id<FlutterPluginRegistrar>)registrar {
  // The plug-in serves its channel for the life of the process: the messenger and the registrar
  // that keeps the plug-in instance are never freed.
  auto* messenger = new tandrel::macos::FlutterMessengerBridge(registrar.messenger);
  auto* pluginRegistrar = new channel::PluginRegistrar(*messenger);
  velloc::VellocPlugin::registerWithRegistrar(*pluginRegistrar);
}

@end
