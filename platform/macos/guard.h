// Guards at the adapters' entry points: AppKit's exceptions stop at the boundary, and debug
// builds check that each call comes on the thread it belongs to.
#pragma once

#import <Foundation/Foundation.h>

#include <cassert>
#include <utility>

namespace platform::macos {

// Runs an AppKit or Foundation call that may raise an Objective-C exception (pasteboard and
// workspace calls do on misuse) and answers `failure` instead: an exception must never unwind
// through the core's C++ frames.
template <class Result, class Call>
Result orOnException(Result failure, Call&& call) {
  @try {
    return std::forward<Call>(call)();
  } @catch (NSException* exception) {
    NSLog(@"tandrel: %@ raised at the platform boundary: %@", exception.name, exception.reason);
    return failure;
  }
}

// The same for a call without a result.
template <class Call>
void ignoringException(Call&& call) {
  orOnException(0, [&] {
    std::forward<Call>(call)();
    return 0;
  });
}

// Every service but the key tap's own belongs to the main thread.
inline void assertMainThread() {
  assert([NSThread isMainThread] && "this platform call belongs to the main thread");
}

}  // namespace platform::macos
