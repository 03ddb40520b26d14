#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace tandrel {

// Sets "AXManualAccessibility" on an application's element so that applications which build their
// accessibility tree only on request (Electron) expose their text fields. The host itself is never
// asked: its own main thread, busy with this call, would have to answer. True when the application
// refused the attribute as unsupported (Chrome and native applications do); any other outcome is
// no reason to act.
bool enableManualAccessibility(platform::Platform& platform, int32_t processIdentifier);

// Chrome builds its pages' accessibility tree only for "AXEnhancedUserInterface", which slows
// window moves and animations in that application. Switched on through `enable`, it stays on
// only as long as this object: one channel call.
class EnhancedUserInterface {
 public:
  explicit EnhancedUserInterface(platform::Accessibility& accessibility)
      : accessibility_(accessibility) {}
  EnhancedUserInterface(const EnhancedUserInterface&) = delete;
  EnhancedUserInterface& operator=(const EnhancedUserInterface&) = delete;
  ~EnhancedUserInterface();

  // Switches it on for the application; false when it was on already (someone else's, left
  // alone) or could not be set.
  bool enable(int32_t processIdentifier);

 private:
  platform::Accessibility& accessibility_;
  platform::AXElement application_;  // where it was switched on, to switch it off again
};

}  // namespace tandrel
