#pragma once

#import <FlutterMacOS/FlutterMacOS.h>

// The input-source plug-in's entry for the Flutter embedding: registration hands the
// registrar's messenger to the portable plug-in, which serves "velloc/input_source".
@interface VellocPlugin : NSObject <FlutterPlugin>
@end
