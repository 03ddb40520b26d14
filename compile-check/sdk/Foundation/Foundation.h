// GNUstep's Foundation plus what Apple's Foundation has and GNUstep lacks, declared from Apple's
// public documentation; only what the macOS code uses.
#pragma once

#include_next <Foundation/Foundation.h>

#ifndef API_AVAILABLE
#define API_AVAILABLE(...)
#endif

typedef struct {
  NSInteger majorVersion;
  NSInteger minorVersion;
  NSInteger patchVersion;
} NSOperatingSystemVersion;

@interface NSProcessInfo (AppleFoundationDeclarations)
@property(readonly) NSOperatingSystemVersion operatingSystemVersion;
@end
