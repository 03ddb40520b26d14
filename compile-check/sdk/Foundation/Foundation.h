// GNUstep's Foundation plus what Apple's Foundation has and GNUstep lacks, declared from Apple's
// public documentation; only what the macOS code uses.
#pragma once

#include_next <Foundation/Foundation.h>

#ifndef API_AVAILABLE
#define API_AVAILABLE(...)
#endif

// The SDK a check stands for, as Apple's version macros give it. By default the newest these
// declarations know, so every one is visible; scripts/macos-check checks again with the oldest SDK
// the build allows (macOS 13, Xcode 14.1), where a declaration marked newer is absent, as it is
// from that SDK. Each declaration newer than macOS 13 is guarded with its SDK version.
#ifndef TANDREL_CHECK_SDK
#define TANDREL_CHECK_SDK 150400
#endif
#define __MAC_13_0 130000
#define __MAC_15_4 150400
#define __MAC_OS_X_VERSION_MAX_ALLOWED TANDREL_CHECK_SDK

typedef struct {
  NSInteger majorVersion;
  NSInteger minorVersion;
  NSInteger patchVersion;
} NSOperatingSystemVersion;

@interface NSProcessInfo (AppleFoundationDeclarations)
@property(readonly) NSOperatingSystemVersion operatingSystemVersion;
@end
