#include "runner/automation/manual_accessibility.h"

namespace tandrel {

void enableManualAccessibility(platform::Accessibility& accessibility, int32_t processIdentifier) {
  const platform::AXElement app = accessibility.createApplication(processIdentifier);
  if (app) accessibility.setAttributeValue(app, "AXManualAccessibility", true);
}

}  // namespace tandrel
