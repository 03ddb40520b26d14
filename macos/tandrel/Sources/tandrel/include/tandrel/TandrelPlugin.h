// The package's plug-in class, named in pubspec.yaml. Flutter's generated registrant imports
// this module, so this header stays plain Objective-C.
#import <FlutterMacOS/FlutterMacOS.h>

NS_ASSUME_NONNULL_BEGIN

// Registering it on an engine serves "velloc/input_source" and the five "tandrel/..." channels
// there.
@interface TandrelPlugin : NSObject <FlutterPlugin>
@end

NS_ASSUME_NONNULL_END
