#include "runner/automation/manual_accessibility.h"

namespace tandrel {

namespace {

constexpr std::string_view kEnhancedUserInterface = "AXEnhancedUserInterface";

}  // namespace

bool enableManualAccessibility(platform::Platform& platform, int32_t processIdentifier) {
  if (processIdentifier == platform.processInfo().processIdentifier()) return false;
  platform::Accessibility& accessibility = platform.accessibility();
  const platform::AXElement app = accessibility.createApplication(processIdentifier);
  // Applications that do not know the attribute refuse it; most expose their tree anyway.
  return app && accessibility.setAttributeValue(app, "AXManualAccessibility", true) ==
                    platform::kAXErrorAttributeUnsupported;
}

EnhancedUserInterface::~EnhancedUserInterface() {
  // Failing to switch it off leaves nothing else to try.
  if (application_)
    (void)accessibility_.setAttributeValue(application_, kEnhancedUserInterface, false);
}

bool EnhancedUserInterface::enable(int32_t processIdentifier) {
  if (application_) return false;
  platform::AXElement app = accessibility_.createApplication(processIdentifier);
  if (!app) return false;
  platform::AXAttributeValue current;
  if (accessibility_.copyAttributeValue(app, kEnhancedUserInterface, current) ==
          platform::kAXErrorSuccess &&
      current == platform::AXAttributeValue(true)) {
    return false;
  }
  if (accessibility_.setAttributeValue(app, kEnhancedUserInterface, true) !=
      platform::kAXErrorSuccess) {
    return false;
  }
  application_ = std::move(app);
  return true;
}

}  // namespace tandrel
