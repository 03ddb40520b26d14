// Accessibility: the system-wide element, application elements and each application's focused
// text element, with the knobs that decide how the application answers.

#include "sim/accessibility.h"

#include <unicode/ustring.h>

#include <algorithm>

#include "sim/world_impl.h"

namespace sim {

using platform::AXAttributeValue;
using platform::AXElement;
using platform::AXElementObject;
using platform::AXError;
using Kind = platform::AXElementObject::Kind;

namespace {

constexpr int32_t kAXValueTypeCGPoint = 1;

std::u16string upperCased(const std::u16string& text) {
  if (text.empty()) return text;
  std::u16string out(text.size() * 3 + 1, u'\0');  // full case mapping may grow the text
  UErrorCode status = U_ZERO_ERROR;
  const int32_t length = u_strToUpper(out.data(), static_cast<int32_t>(out.size()), text.data(),
                                      static_cast<int32_t>(text.size()), "", &status);
  if (U_FAILURE(status)) return text;
  out.resize(static_cast<size_t>(length));
  return out;
}

AXElement element(Kind kind, int32_t pid) {
  return std::make_shared<AXElementObject>(AXElementObject{kind, pid});
}

}  // namespace

std::vector<StyleRun> styleRuns(const ElementState& element) {
  std::vector<StyleRun> runs;
  const size_t length = element.value ? element.value->size() : 0;
  for (size_t i = 0; i < std::min(length, element.styles.size()); ++i) {
    const std::string& style = element.styles[i];
    if (style.empty()) continue;
    if (!runs.empty() && runs.back().style == style &&
        runs.back().start + runs.back().length == static_cast<int64_t>(i)) {
      ++runs.back().length;
    } else {
      runs.push_back(StyleRun{static_cast<int64_t>(i), 1, style});
    }
  }
  return runs;
}

void setStyleRuns(ElementState& element, const std::vector<StyleRun>& runs) {
  const auto length = static_cast<int64_t>(element.value ? element.value->size() : 0);
  element.styles.assign(static_cast<size_t>(length), std::string());
  for (const StyleRun& run : runs) {
    const int64_t start = std::clamp<int64_t>(run.start, 0, length);
    const int64_t end = start + std::clamp<int64_t>(run.length, 0, length - start);
    for (int64_t i = start; i < end; ++i) element.styles[static_cast<size_t>(i)] = run.style;
  }
}

bool SimAccessibility::isProcessTrusted() {
  return w_.trusted;
}

bool SimAccessibility::isProcessTrustedWithOptions(bool prompt) {
  w_.requireMainThread("isProcessTrustedWithOptions");
  if (!prompt) return w_.trusted;
  ++w_.trustPrompts;
  const bool trusted = w_.trusted;
  w_.promptShown(World::Impl::Permission::kAccessibility);
  return trusted;
}

AXElement SimAccessibility::createApplication(int32_t pid) {
  w_.requireMainThread("createApplication");
  return element(Kind::kApplication, pid);  // like the OS: made for any pid, checked on use
}

AXElement SimAccessibility::createSystemWide() {
  w_.requireMainThread("createSystemWide");
  return element(Kind::kSystemWide, 0);
}

bool SimAccessibility::timesOut(const AXElement& element, int32_t pid) {
  w_.requireMainThread("timesOut");
  AppState* app = w_.app(pid);
  // The host asking itself waits for its own main thread, which is busy making the call.
  const bool self = pid == w_.hostPid;
  if (!self && !app) return false;
  Micros timeout = element->messagingTimeout > 0 ? element->messagingTimeout : w_.messagingTimeout;
  if (timeout <= 0) timeout = World::Impl::kDefaultMessagingTimeout;
  // The call is a synchronous message: the main thread waits, the rest of the system goes on.
  if (self || app->hung || app->callDelay >= timeout) {
    if (app) ++app->timedOutCalls;
    w_.blockMain(timeout);
    return true;
  }
  if (app->callDelay > 0) w_.blockMain(app->callDelay);
  return false;
}

ElementState* SimAccessibility::focusedInTree(int32_t pid) {
  const AppState* app = w_.app(pid);
  // A tree built only while accessibility is on is gone again once it is off.
  if (app && w_.treeHidden(*app)) return nullptr;
  return w_.focusedOf(pid);
}

bool World::Impl::treeHidden(const AppState& app) const {
  return app.chromium != Chromium::kNone &&
         (app.accessibility == AccessibilityMode::kOff || now < app.treeReadyAt);
}

void World::Impl::switchAccessibility(AppState& app, AccessibilityMode mode) {
  const std::string who = "app " + std::to_string(app.pid);
  if (mode == AccessibilityMode::kOff) {
    if (app.accessibility != AccessibilityMode::kOff) note("accessibility", who + " off");
    app.accessibility = mode;
    return;
  }
  // The renderer builds the pages' tree and sends it over; until then there is nothing to find.
  if (app.accessibility == AccessibilityMode::kOff) app.treeReadyAt = now + app.treeBuildDelay;
  if (mode <= app.accessibility) return;
  app.accessibility = mode;
  note("accessibility", who + (mode == AccessibilityMode::kBasic ? " basic" : " complete") +
                            ", its tree from " + std::to_string(app.treeReadyAt) + " us");
}

void World::Impl::scheduleSwitch(AppState& app, Micros due, std::function<void(AppState&)> change) {
  const uint64_t epoch = ++app.switchEpoch;
  enqueueSystem(due, [this, pid = app.pid, epoch, change = std::move(change)] {
    AppState* a = this->app(pid);
    if (a && a->switchEpoch == epoch) change(*a);
  });
}

void World::Impl::debounceSwitch(AppState& app, bool enable) {
  // A request to switch off with none pending to switch on acts at once.
  if (!enable && app.accessibilityRequests == 0) {
    ++app.switchEpoch;
    switchAccessibility(app, AccessibilityMode::kOff);
    return;
  }
  app.accessibilityRequests += enable ? 1 : -1;
  ++app.switchEpoch;  // the pending one is cancelled; the countdown starts again
  if (app.accessibilityRequests > 0) {
    scheduleSwitch(app, now + kSwitchDebounce, [this](AppState& a) {
      a.accessibilityRequests = 0;
      switchAccessibility(a, AccessibilityMode::kComplete);
    });
  }
}

platform::AXError World::Impl::setSwitch(AppState& app, std::string_view attribute, bool on) {
  const bool manual = attribute == "AXManualAccessibility";
  const bool electron = app.chromium == Chromium::kElectronOld ||
                        app.chromium == Chromium::kElectronReadable ||
                        app.chromium == Chromium::kElectronDebounced;
  if (manual && !electron) return platform::kAXErrorAttributeUnsupported;
  if (!manual) app.enhancedUserInterface = on;  // AppKit keeps it, whatever the application does
  if (electron) {
    // Every set tells the application's windows that a screen reader came or went.
    note("accessibilitySwitch", "app " + std::to_string(app.pid) + " " + std::string(attribute) +
                                    (on ? " true" : " false") + ": accessibility-support-changed");
  }
  switch (app.chromium) {
    case Chromium::kNone:
      break;
    case Chromium::kChrome:
    case Chromium::kElectronDebounced:
      debounceSwitch(app, on);
      break;
    case Chromium::kChromeBefore14:
      if (on) {
        ++app.switchEpoch;
        switchAccessibility(app, AccessibilityMode::kComplete);
      } else {
        // kDisableAccessibilitySupportDelaySecs
        scheduleSwitch(app, now + kSwitchDebounce,
                       [this](AppState& a) { switchAccessibility(a, AccessibilityMode::kOff); });
      }
      break;
    case Chromium::kElectronOld:
    case Chromium::kElectronReadable:
      ++app.switchEpoch;
      switchAccessibility(app, on ? AccessibilityMode::kComplete : AccessibilityMode::kOff);
      break;
  }
  // Before the fix in Electron 25, the manual switch took effect and answered an error anyway.
  return manual && app.chromium == Chromium::kElectronOld ? platform::kAXErrorAttributeUnsupported
                                                          : platform::kAXErrorSuccess;
}

namespace {

// The application a call on this element is a message to; the system-wide element asks the
// frontmost one for its focus.
int32_t targetPid(const World::Impl& w, const AXElement& element) {
  if (element->kind != Kind::kSystemWide) return element->pid;
  return w.frontmost.value_or(0);
}

bool isElectron(const AppState& app) {
  return app.chromium == Chromium::kElectronOld || app.chromium == Chromium::kElectronReadable ||
         app.chromium == Chromium::kElectronDebounced;
}

}  // namespace

AXError SimAccessibility::copyAttributeValue(const AXElement& handle, std::string_view attribute,
                                             AXAttributeValue& value) {
  w_.requireMainThread("copyAttributeValue");
  if (!handle) return platform::kAXErrorIllegalArgument;
  if (!w_.trusted) return platform::kAXErrorAPIDisabled;
  if (timesOut(handle, targetPid(w_, handle))) return platform::kAXErrorCannotComplete;

  switch (handle->kind) {
    case Kind::kSystemWide: {
      const std::optional<int32_t> owner = w_.focusOwner();
      const AppState* app = owner ? w_.app(*owner) : nullptr;
      // The accessibility server knows which application has the focus now, whatever the
      // workspace's snapshot still says.
      if (attribute == "AXFocusedApplication") {
        if (!app) return platform::kAXErrorNoValue;
        value = element(Kind::kApplication, app->pid);
        return platform::kAXErrorSuccess;
      }
      if (attribute != "AXFocusedUIElement") return platform::kAXErrorAttributeUnsupported;
      if (w_.faults.systemWideFocusFails) return platform::kAXErrorCannotComplete;
      if (!app || !app->focused || w_.treeHidden(*app)) return platform::kAXErrorNoValue;
      value = element(Kind::kFocused, app->pid);
      return platform::kAXErrorSuccess;
    }
    case Kind::kApplication: {
      AppState* app = w_.app(handle->pid);
      if (!app) return platform::kAXErrorInvalidUIElement;
      if (attribute == "AXManualAccessibility") {
        // Read back from Electron 25 on: whether the complete mode is on.
        if (!isElectron(*app) || app->chromium == Chromium::kElectronOld) {
          return platform::kAXErrorAttributeUnsupported;
        }
        value = app->accessibility == AccessibilityMode::kComplete;
        return platform::kAXErrorSuccess;
      }
      if (attribute == "AXEnhancedUserInterface") {
        value = app->enhancedUserInterface;
        return platform::kAXErrorSuccess;
      }
      if (attribute == "AXRole") {
        // Chromium takes the question for assistive technology; without the macOS 14 refinements
        // it turns the basic mode on (with them, only the native interfaces: no pages' tree).
        if (app->chromium == Chromium::kChromeBefore14) {
          w_.switchAccessibility(*app, AccessibilityMode::kBasic);
        }
        value = std::u16string(u"AXApplication");
        return platform::kAXErrorSuccess;
      }
      if (attribute != "AXFocusedUIElement") return platform::kAXErrorAttributeUnsupported;
      if (!app->focused || w_.treeHidden(*app)) return platform::kAXErrorNoValue;
      value = element(Kind::kFocused, app->pid);
      return platform::kAXErrorSuccess;
    }
    case Kind::kFocused:
      break;
  }

  ElementState* el = focusedInTree(handle->pid);
  if (!el) return platform::kAXErrorInvalidUIElement;
  if (const auto it = el->copyErrors.find(std::string(attribute)); it != el->copyErrors.end()) {
    return it->second;
  }
  // A chromium page's latest change may not have reached accessibility yet.
  ElementState shown;
  if (const ElementState::Published* lag = text_edit::lagging(*el, w_.now)) {
    shown.value = lag->value;
    shown.selection = lag->selection;
  } else {
    shown.value = el->value;
    shown.selection = el->selection;
  }
  if (attribute == "AXValue") {
    if (el->valueIsAttributed) {
      value = platform::AXOtherValue{"CFAttributedString"};
      return platform::kAXErrorSuccess;
    }
    if (el->valueIsNumber) {
      value = el->numberValue;
    } else if (shown.value) {
      value = *shown.value;
    } else {
      return platform::kAXErrorNoValue;
    }
    return platform::kAXErrorSuccess;
  }
  if (attribute == "AXSelectedTextRange") {
    if (el->selectionIsNotRange) {
      value = platform::AXValueBox{kAXValueTypeCGPoint, {}};
      return platform::kAXErrorSuccess;
    }
    if (!shown.selection) return platform::kAXErrorNoValue;
    value = platform::AXValueBox{platform::kAXValueTypeCFRange, *shown.selection};
    return platform::kAXErrorSuccess;
  }
  if (attribute == "AXSelectedText") {
    if (!shown.selection) return platform::kAXErrorNoValue;
    const platform::AXRange range = text_edit::clampedSelection(shown);
    value = text_edit::textOf(shown).substr(static_cast<size_t>(range.location),
                                            static_cast<size_t>(range.length));
    return platform::kAXErrorSuccess;
  }
  if (attribute == "AXSubrole") {
    if (el->subroleNotString) {
      value = platform::AXOtherValue{"CFNumber"};
      return platform::kAXErrorSuccess;
    }
    if (!el->subrole) return platform::kAXErrorNoValue;
    value = *el->subrole;
    return platform::kAXErrorSuccess;
  }
  return platform::kAXErrorAttributeUnsupported;
}

AXError SimAccessibility::setAttributeValue(const AXElement& handle, std::string_view attribute,
                                            const AXAttributeValue& value) {
  w_.requireMainThread("setAttributeValue");
  if (!handle) return platform::kAXErrorIllegalArgument;
  if (!w_.trusted) return platform::kAXErrorAPIDisabled;
  if (handle->kind != Kind::kSystemWide && timesOut(handle, handle->pid)) {
    return platform::kAXErrorCannotComplete;
  }

  switch (handle->kind) {
    case Kind::kSystemWide:
      return platform::kAXErrorAttributeUnsupported;
    case Kind::kApplication: {
      AppState* app = w_.app(handle->pid);
      if (!app) return platform::kAXErrorInvalidUIElement;
      const bool manual = attribute == "AXManualAccessibility";
      if (!manual && attribute != "AXEnhancedUserInterface") {
        return platform::kAXErrorAttributeUnsupported;
      }
      ++(manual ? app->manualAccessibilityWrites : app->enhancedUserInterfaceWrites);
      if (app->failsWrites) return platform::kAXErrorCannotComplete;
      const bool* flag = std::get_if<bool>(&value);
      if (!flag) return platform::kAXErrorIllegalArgument;
      return w_.setSwitch(*app, attribute, *flag);
    }
    case Kind::kFocused:
      break;
  }

  ElementState* el = focusedInTree(handle->pid);
  if (!el) return platform::kAXErrorInvalidUIElement;
  if (w_.app(handle->pid)->failsWrites) return platform::kAXErrorCannotComplete;
  const auto* text = std::get_if<std::u16string>(&value);

  if (attribute == "AXValue") {
    if (!el->valueSettable) return platform::kAXErrorAttributeUnsupported;
    if (!text) return platform::kAXErrorIllegalArgument;
    switch (el->valueWrite) {
      case WriteBehaviour::kRefuse:
        return platform::kAXErrorCannotComplete;
      case WriteBehaviour::kIgnore:
        return platform::kAXErrorSuccess;
      case WriteBehaviour::kAccept:
        el->value = *text;
        break;
      case WriteBehaviour::kReformat:
        el->value = el->reformatTo ? *el->reformatTo : upperCased(*text);
        break;
    }
    el->valueIsNumber = false;
    el->published.reset();  // read back at once, even where the page never hears of it
    // The whole text is replaced, not edited: a rich view keeps no formatting, and a web page
    // shows the new text while its model keeps the old one.
    if (el->kind == ElementKind::kRich) el->styles.assign(el->value->size(), std::string());
    // A new value puts the caret at its end, as text fields do.
    if (el->selection)
      el->selection = platform::AXRange{static_cast<int64_t>(el->value->size()), 0};
    return platform::kAXErrorSuccess;
  }
  if (attribute == "AXSelectedTextRange") {
    if (!el->selectionSettable) return platform::kAXErrorAttributeUnsupported;
    const auto* box = std::get_if<platform::AXValueBox>(&value);
    if (!box || box->type != platform::kAXValueTypeCFRange)
      return platform::kAXErrorIllegalArgument;
    if (el->refuseSelectionWrite) return platform::kAXErrorCannotComplete;
    text_edit::select(*el, box->range, w_.now);
    return platform::kAXErrorSuccess;
  }
  if (attribute == "AXSelectedText") {
    if (!el->selectedTextSettable) return platform::kAXErrorAttributeUnsupported;
    if (!text) return platform::kAXErrorIllegalArgument;
    if (el->refuseSelectedTextWrite) return platform::kAXErrorCannotComplete;
    // Chromium turns it into an action its web content never handles.
    if (el->ignoreSelectedTextWrite || el->kind == ElementKind::kChromium) {
      return platform::kAXErrorSuccess;
    }
    text_edit::replaceSelection(*el, *text, w_.now);
    return platform::kAXErrorSuccess;
  }
  return platform::kAXErrorAttributeUnsupported;
}

AXError SimAccessibility::isAttributeSettable(const AXElement& handle, std::string_view attribute,
                                              bool& settable) {
  w_.requireMainThread("isAttributeSettable");
  if (!handle) return platform::kAXErrorIllegalArgument;
  if (!w_.trusted) return platform::kAXErrorAPIDisabled;
  if (handle->kind != Kind::kSystemWide && timesOut(handle, handle->pid)) {
    return platform::kAXErrorCannotComplete;
  }
  switch (handle->kind) {
    case Kind::kSystemWide:
      settable = false;
      return platform::kAXErrorSuccess;
    case Kind::kApplication: {
      const AppState* app = w_.app(handle->pid);
      if (!app) return platform::kAXErrorInvalidUIElement;
      // Electron lists its own switch; every AppKit application takes the enhanced interface.
      settable = (attribute == "AXManualAccessibility" && isElectron(*app)) ||
                 attribute == "AXEnhancedUserInterface";
      return platform::kAXErrorSuccess;
    }
    case Kind::kFocused:
      break;
  }
  const ElementState* el = focusedInTree(handle->pid);
  if (!el) return platform::kAXErrorInvalidUIElement;
  if (const auto it = el->settableErrors.find(std::string(attribute));
      it != el->settableErrors.end()) {
    return it->second;
  }
  if (attribute == "AXValue") {
    settable = el->valueSettable;
  } else if (attribute == "AXSelectedTextRange") {
    settable = el->selectionSettable;
  } else if (attribute == "AXSelectedText") {
    settable = el->selectedTextSettable;
  } else {
    settable = false;
  }
  return platform::kAXErrorSuccess;
}

AXError SimAccessibility::setMessagingTimeout(const AXElement& element, float timeoutInSeconds) {
  w_.requireMainThread("setMessagingTimeout");
  if (!element || !(timeoutInSeconds >= 0)) return platform::kAXErrorIllegalArgument;
  const Micros timeout = secondsToMicros(timeoutInSeconds);
  if (element->kind == Kind::kSystemWide) {
    w_.messagingTimeout = timeout;
  } else {
    element->messagingTimeout = timeout;
  }
  return platform::kAXErrorSuccess;
}

AXError SimAccessibility::getPid(const AXElement& element, int32_t& pid) {
  w_.requireMainThread("getPid");
  // The system-wide element belongs to no application; the host never asks it.
  if (!element || element->kind == Kind::kSystemWide) return platform::kAXErrorIllegalArgument;
  pid = element->pid;
  return platform::kAXErrorSuccess;
}

std::optional<platform::AXValueBox> SimAccessibility::createRangeValue(platform::AXRange range) {
  w_.requireMainThread("createRangeValue");
  if (w_.faults.rangeValueCreateFails) return std::nullopt;
  return platform::AXValueBox{platform::kAXValueTypeCFRange, range};
}

}  // namespace sim
