#include "runner/automation/manual_accessibility.h"

#include <utility>

namespace tandrel {

namespace {

constexpr std::string_view kManualAccessibility = "AXManualAccessibility";
constexpr std::string_view kEnhancedUserInterface = "AXEnhancedUserInterface";
constexpr std::string_view kFocusedUIElement = "AXFocusedUIElement";

// Whether the attribute reads true; false also when it cannot be read.
bool readsTrue(platform::Accessibility& ax, const platform::AXElement& app,
               std::string_view attribute, platform::AXError& error) {
  platform::AXAttributeValue value;
  error = ax.copyAttributeValue(app, attribute, value);
  return error == platform::kAXErrorSuccess && value == platform::AXAttributeValue(true);
}

}  // namespace

std::shared_ptr<AccessibilitySwitches> AccessibilitySwitches::of(platform::Platform& platform) {
  // Main thread only, as every caller is. Weak, so a test's world never meets a finished test's
  // memory of its applications.
  static std::map<platform::Platform*, std::weak_ptr<AccessibilitySwitches>> instances;
  std::erase_if(instances, [](const auto& entry) { return entry.second.expired(); });
  std::weak_ptr<AccessibilitySwitches>& slot = instances[&platform];
  std::shared_ptr<AccessibilitySwitches> instance = slot.lock();
  if (!instance) {
    instance = std::make_shared<AccessibilitySwitches>(platform);
    slot = instance;
  }
  return instance;
}

void AccessibilitySwitches::activated(int32_t processIdentifier) {
  // The one that went to the background: its enhanced interface goes off if it stays away.
  const std::optional<int32_t> left = std::exchange(front_, processIdentifier);
  if (left && left != processIdentifier) {
    const auto it = apps_.find(*left);
    if (it != apps_.end() && it->second.enhancedByHost) {
      platform_.mainLoop().dispatchAfter(
          kEnhancedOffAfterSeconds,
          [weak = weak_from_this(), pid = *left, activations = it->second.activations] {
            if (const auto self = weak.lock()) self->switchOffIfStillAway(pid, activations);
          });
    }
  }
  if (processIdentifier == platform_.processInfo().processIdentifier()) return;
  ++apps_[processIdentifier].activations;
  prepare(processIdentifier);
}

void AccessibilitySwitches::prepare(int32_t processIdentifier) {
  if (processIdentifier == platform_.processInfo().processIdentifier()) return;
  enableManualAccessibility(processIdentifier);
  App& app = apps_[processIdentifier];
  // Switched off after a long absence: on again as it comes back, ahead of the lookup.
  if (app.needsEnhanced && !app.enhancedByHost && !app.enhancedUseless) {
    enableEnhancedUserInterface(processIdentifier, app);
  }
}

void AccessibilitySwitches::focusedElementMissing(int32_t processIdentifier) {
  if (processIdentifier == platform_.processInfo().processIdentifier()) return;
  App& app = apps_[processIdentifier];
  // Electron, even when it answers "unsupported", builds its tree for the manual switch, and old
  // versions take the enhanced interface's "off" for accessibility off.
  if (!app.manualRefused || app.listsManual || app.enhancedByHost || app.enhancedUseless) return;
  app.needsEnhanced = true;
  enableEnhancedUserInterface(processIdentifier, app);
}

void AccessibilitySwitches::enableManualAccessibility(int32_t processIdentifier) {
  if (processIdentifier == platform_.processInfo().processIdentifier()) return;
  App& app = apps_[processIdentifier];
  if (app.manualDone) return;
  platform::Accessibility& ax = platform_.accessibility();
  const platform::AXElement element = ax.createApplication(processIdentifier);
  if (!element) return;
  platform::AXError error = platform::kAXErrorSuccess;
  if (readsTrue(ax, element, kManualAccessibility, error)) {
    app.manualDone = app.listsManual = true;
    return;
  }
  // A busy application is asked again next time rather than kept waiting twice.
  if (error == platform::kAXErrorCannotComplete) return;
  error = ax.setAttributeValue(element, kManualAccessibility, true);
  // Only the application's own answer counts; a call that did not reach it is made again later.
  if (error != platform::kAXErrorSuccess && error != platform::kAXErrorAttributeUnsupported) return;
  app.manualDone = true;
  app.manualRefused = error == platform::kAXErrorAttributeUnsupported;
  bool settable = !app.manualRefused;
  // Old Electron answers "unsupported" as Chrome does, but says it takes the attribute.
  if (app.manualRefused) (void)ax.isAttributeSettable(element, kManualAccessibility, settable);
  app.listsManual = settable;
}

void AccessibilitySwitches::enableEnhancedUserInterface(int32_t processIdentifier, App& app) {
  platform::Accessibility& ax = platform_.accessibility();
  const platform::AXElement element = ax.createApplication(processIdentifier);
  if (!element) return;
  platform::AXError error = platform::kAXErrorSuccess;
  // On already: someone else's (a screen reader's), left to them.
  if (readsTrue(ax, element, kEnhancedUserInterface, error)) return;
  if (ax.setAttributeValue(element, kEnhancedUserInterface, true) != platform::kAXErrorSuccess) {
    return;
  }
  app.enhancedByHost = true;
  platform_.mainLoop().dispatchAfter(kEnhancedCheckAfterSeconds,
                                     [weak = weak_from_this(), pid = processIdentifier] {
                                       if (const auto self = weak.lock())
                                         self->switchOffIfUseless(pid);
                                     });
}

void AccessibilitySwitches::switchOffIfUseless(int32_t processIdentifier) {
  const auto it = apps_.find(processIdentifier);
  if (it == apps_.end() || !it->second.enhancedByHost) return;
  platform::Accessibility& ax = platform_.accessibility();
  const platform::AXElement element = ax.createApplication(processIdentifier);
  platform::AXAttributeValue focused;
  // A tree with a focused element, or no answer to tell: it stays.
  if (!element) return;
  const platform::AXError error = ax.copyAttributeValue(element, kFocusedUIElement, focused);
  if (error != platform::kAXErrorNoValue) return;
  it->second.enhancedUseless = true;
  disableEnhancedUserInterface(it);
}

void AccessibilitySwitches::switchOffIfStillAway(int32_t processIdentifier, uint64_t activations) {
  const auto it = apps_.find(processIdentifier);
  if (it == apps_.end()) return;
  App& app = it->second;
  if (app.activations != activations) return;
  const std::optional<platform::RunningApplication> front =
      platform_.workspace().frontmostApplication();
  if (front && front->processIdentifier == processIdentifier) return;
  disableEnhancedUserInterface(it);
}

void AccessibilitySwitches::disableEnhancedUserInterface(std::map<int32_t, App>::iterator it) {
  App& app = it->second;
  // Never on an application that takes the manual switch: old Electron takes it for accessibility
  // off.
  if (!app.enhancedByHost || app.listsManual) return;
  platform::Accessibility& ax = platform_.accessibility();
  const platform::AXElement element = ax.createApplication(it->first);
  if (!element) return;
  platform::AXError error = platform::kAXErrorSuccess;
  if (!readsTrue(ax, element, kEnhancedUserInterface, error)) {
    // Gone, or switched off by someone else: nothing of the host's is left to undo.
    if (error == platform::kAXErrorInvalidUIElement) {
      apps_.erase(it);
    } else if (error == platform::kAXErrorSuccess) {
      app.enhancedByHost = false;
    }
    return;
  }
  if (ax.setAttributeValue(element, kEnhancedUserInterface, false) == platform::kAXErrorSuccess) {
    app.enhancedByHost = false;
  }
}

}  // namespace tandrel
