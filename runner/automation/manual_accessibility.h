#pragma once

#include <cstdint>

#include "platform/accessibility.h"

namespace tandrel {

// Sets "AXManualAccessibility" on an application's element so that applications which build their
// accessibility tree only on request (Chromium-based ones) expose their text fields. The outcome is
// ignored: an application that refuses simply stays as it was.
void enableManualAccessibility(platform::Accessibility& accessibility, int32_t processIdentifier);

}  // namespace tandrel
