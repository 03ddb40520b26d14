#import "macos/GeneratedPluginRegistrant.h"

#include <string_view>

#include "runner/generated_plugin_registrant.h"

namespace {

NSString* toNSString(std::string_view ascii) {
  return [[NSString alloc] initWithBytes:ascii.data()
                                  length:ascii.size()
                                encoding:NSASCIIStringEncoding];
}

// Each plug-in's class is named like its registrar. The plug-ins written in Swift carry their
// module (the Flutter package) in the class's runtime name.
Class<FlutterPlugin> pluginClass(const tandrel::GeneratedPlugin& plugin) {
  NSString* name = toNSString(plugin.registrarName);
  Class found = NSClassFromString(name);
  if (found == Nil) {
    found =
        NSClassFromString([NSString stringWithFormat:@"%@.%@", toNSString(plugin.package), name]);
  }
  // All eight are linked when the program loads, so a class not found is a broken build.
  if (found == Nil || ![found conformsToProtocol:@protocol(FlutterPlugin)]) {
    [NSException raise:NSInternalInconsistencyException
                format:@"Flutter plug-in class %@ is not linked into the program", name];
  }
  return found;
}

}  // namespace

void RegisterGeneratedPlugins(id<FlutterPluginRegistry> registry) {
  // The table (order and registrar names) is the portable core's, shared with every host.
  for (const tandrel::GeneratedPlugin& plugin : tandrel::kGeneratedPlugins) {
    id<FlutterPluginRegistrar> registrar =
        [registry registrarForPlugin:toNSString(plugin.registrarName)];
    [pluginClass(plugin) registerWithRegistrar:registrar];
  }
}
