#pragma once

#import <FlutterMacOS/FlutterMacOS.h>

// Registers the application's eight Flutter plug-ins with `registry`, in their fixed order.
void RegisterGeneratedPlugins(id<FlutterPluginRegistry> registry);
