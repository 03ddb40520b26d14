#include "runner/automation/manual_accessibility.h"

namespace tandrel {

void enableManualAccessibility(platform::Accessibility& accessibility, int32_t processIdentifier) {
  const platform::AXElement app = accessibility.createApplication(processIdentifier);
  // Applications that do not know the attribute refuse it; they expose their tree anyway.
  if (app) (void)accessibility.setAttributeValue(app, "AXManualAccessibility", true);
}

}  // namespace tandrel
