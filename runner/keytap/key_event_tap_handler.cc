#include "runner/keytap/key_event_tap_handler.h"

#include <algorithm>
#include <string>
#include <utility>

#include "runner/automation/automation_handler.h"
#include "runner/automation/manual_accessibility.h"
#include "runner/permissions/permission_gate.h"
#include "text/text.h"

namespace tandrel {
namespace {

// The stream's refusals.
constexpr std::string_view kNoPermissionCode = "no_permission";
constexpr std::string_view kPermissionNotGrantedMessage = "Key listening permission is not granted";
constexpr std::string_view kTapCreationFailedMessage =
    "CGEventTap creation failed \u2014 permission missing?";

channel::ChannelError noPermission(std::string_view message) {
  return channel::ChannelError{std::string(kNoPermissionCode), std::string(message), {}};
}

// Positions of the entries in the reused event maps.
enum KeyDownEntry : size_t { kKeyDownKeycode = 1, kKeyDownRepeat, kKeyDownChars, kKeyDownFlags };
enum ModifierEntry : size_t { kModifierKeycode = 1, kModifierDown, kModifierFlags };

// The four modifier entries, in the order both maps end with.
constexpr std::array<platform::EventFlags, 4> kReportedFlags = {
    platform::kCGEventFlagMaskControl, platform::kCGEventFlagMaskShift,
    platform::kCGEventFlagMaskAlternate, platform::kCGEventFlagMaskCommand};

// Modifier key codes 54..63 and the flag of the group each belongs to.
constexpr int64_t kFirstModifierKey = 54;
constexpr std::array<platform::EventFlags, 10> kModifierGroupFlags = {
    platform::kCGEventFlagMaskCommand,      // 54 right Command
    platform::kCGEventFlagMaskCommand,      // 55 left Command
    platform::kCGEventFlagMaskShift,        // 56 left Shift
    platform::kCGEventFlagMaskAlphaShift,   // 57 Caps Lock
    platform::kCGEventFlagMaskAlternate,    // 58 left Option
    platform::kCGEventFlagMaskControl,      // 59 left Control
    platform::kCGEventFlagMaskShift,        // 60 right Shift
    platform::kCGEventFlagMaskAlternate,    // 61 right Option
    platform::kCGEventFlagMaskControl,      // 62 right Control
    platform::kCGEventFlagMaskSecondaryFn,  // 63 fn
};

channel::ValueMap::Entry flagEntry(const char* key) {
  return {key, false};
}

channel::Value makeKeyDownEvent() {
  return channel::ValueMap{{"type", "keyDown"}, {"keycode", int64_t{0}}, {"repeat", false},
                           {"chars", ""},       flagEntry("control"),    flagEntry("shift"),
                           flagEntry("alt"),    flagEntry("meta")};
}

channel::Value makeModifierEvent() {
  return channel::ValueMap{{"type", "modifier"}, {"keycode", int64_t{0}}, {"down", false},
                           flagEntry("control"), flagEntry("shift"),      flagEntry("alt"),
                           flagEntry("meta")};
}

channel::Value makeTypeOnlyEvent(const char* type) {
  return channel::ValueMap{{"type", type}};
}

void writeFlags(channel::ValueMap::iterator first, platform::EventFlags flags) {
  for (const platform::EventFlags mask : kReportedFlags) {
    (first++)->second = (flags & mask) != 0;
  }
}

bool isTapDisabledNotice(platform::EventType type) {
  return type == platform::kCGEventTapDisabledByTimeout ||
         type == platform::kCGEventTapDisabledByUserInput;
}

}  // namespace

std::shared_ptr<KeyEventTapHandler> KeyEventTapHandler::create(platform::Platform& platform,
                                                               bool sandboxed) {
  return std::shared_ptr<KeyEventTapHandler>(new KeyEventTapHandler(platform, sandboxed));
}

const std::shared_ptr<KeyEventTapHandler>& KeyEventTapHandler::shared() {
  // Never destroyed: the instance serves the process to its very end, and must not outlive the
  // platform during static destruction.
  static const auto* instance = new std::shared_ptr<KeyEventTapHandler>(
      create(platform::processPlatform(), PermissionGate::sandboxed()));
  return *instance;
}

KeyEventTapHandler::KeyEventTapHandler(platform::Platform& platform, bool sandboxed)
    : platform_(platform),
      events_(platform.events()),
      sandboxed_(sandboxed),
      keyDownEvent_(makeKeyDownEvent()),
      modifierEvent_(makeModifierEvent()),
      clickEvent_(makeTypeOnlyEvent("click")),
      appChangedEvent_(makeTypeOnlyEvent("appChanged")),
      permissionLostEvent_(makeTypeOnlyEvent("permissionLost")) {}

KeyEventTapHandler::~KeyEventTapHandler() {
  // The tap holds a plain pointer to this handler: it must be gone before the handler is.
  stopAll();
}

std::optional<channel::ChannelError> KeyEventTapHandler::onListen(
    const channel::Value& /*arguments*/, std::unique_ptr<channel::EventSink> newSink) {
  // A listen that follows another without a cancel replaces it whole: no earlier tap or
  // observer may stay behind, whatever this listen's outcome.
  stopAll();

  if (!PermissionGate::requiredPermissionGranted(platform_, sandboxed_)) {
    return noPermission(kPermissionNotGrantedMessage);
  }
  // Inside the sandbox only a listen-only tap is allowed.
  const platform::TapOptions options =
      sandboxed_ ? platform::kCGEventTapOptionListenOnly : platform::kCGEventTapOptionDefault;
  platform::MachPort newTap =
      events_.tapCreate(platform::kCGSessionEventTap, platform::kCGHeadInsertEventTap, options,
                        kEventMask, &KeyEventTapHandler::tapCallback, this);
  if (!newTap) return noPermission(kTapCreationFailedMessage);
  platform::RunLoopSource source = events_.createRunLoopSource(newTap);
  if (!source) {
    // A tap that can never deliver is no tap at all; release it rather than keep it half set up.
    events_.tapEnable(newTap, false);
    return noPermission(kTapCreationFailedMessage);
  }

  tap = std::move(newTap);
  runLoopSource = std::move(source);
  events_.addToMainRunLoop(runLoopSource);
  events_.tapEnable(tap, true);
  sink = std::move(newSink);

  if (sandboxed_ && !events_.preflightPostEventAccess()) {
    // Synthetic input needs posting access too; ask while the user is granting things anyway.
    // Listening goes on whatever the answer.
    (void)events_.requestPostEventAccess();
  }

  const std::weak_ptr<KeyEventTapHandler> weak = weak_from_this();
  platform::Accessibility& accessibility = platform_.accessibility();
  appObserver = platform_.workspace().addDidActivateApplicationObserver(
      [weak, &accessibility](const std::optional<platform::RunningApplication>& app) {
        if (const auto self = weak.lock()) self->push(self->appChangedEvent_);
        // Chromium-based applications expose their text fields only once asked to.
        if (app) enableManualAccessibility(accessibility, app->processIdentifier);
      });
  if (const auto front = platform_.workspace().frontmostApplication()) {
    enableManualAccessibility(accessibility, front->processIdentifier);
  }

  if (!sandboxed_) {
    platform::MainLoop& loop = platform_.mainLoop();
    trustObserver =
        platform_.distributedNotifications().addObserver(kAccessibilityChanged, [weak, &loop] {
          loop.dispatchAfter(kTrustRecheckDelay, [weak] {
            if (const auto self = weak.lock()) self->checkTrust();
          });
        });
  }
  return std::nullopt;
}

std::optional<channel::ChannelError> KeyEventTapHandler::onCancel(
    const channel::Value& /*arguments*/) {
  stopAll();
  return std::nullopt;
}

void KeyEventTapHandler::stopAll() {
  if (appObserver) {
    platform_.workspace().removeObserver(appObserver);
    appObserver.reset();
  }
  teardownTap();
  sink.reset();
}

void KeyEventTapHandler::teardownTap() {
  if (trustObserver) {
    platform_.distributedNotifications().removeObserver(trustObserver);
    trustObserver.reset();
  }
  if (tap) events_.tapEnable(tap, false);
  if (runLoopSource) {
    events_.removeFromMainRunLoop(runLoopSource);
    runLoopSource.reset();
  }
  tap.reset();
}

void KeyEventTapHandler::checkTrust() {
  if (!tap) return;
  if (platform_.accessibility().isProcessTrusted()) return;
  teardownTap();
  push(permissionLostEvent_);
}

platform::EventObject* KeyEventTapHandler::tapCallback(platform::EventType type,
                                                       platform::EventObject* event,
                                                       void* userInfo) {
  static_cast<KeyEventTapHandler*>(userInfo)->handle(type, event);
  return event;
}

void KeyEventTapHandler::handle(platform::EventType type, platform::EventObject* event) {
  if (isTapDisabledNotice(type)) {
    // Only a tap this handler still holds can be switched back on or reported lost; this also
    // keeps a late notice from reporting the loss a second time.
    if (!tap) return;
    if (PermissionGate::requiredPermissionGranted(platform_, sandboxed_)) {
      events_.tapEnable(tap, true);
    } else {
      teardownTap();
      push(permissionLostEvent_);
    }
    return;
  }
  if (event == nullptr) return;
  // The host's own synthetic typing comes through the tap as well.
  if (events_.integerValueField(*event, platform::kCGEventSourceUserData) == kOwnEventMarker) {
    return;
  }
  if (!sink) return;

  const platform::EventFlags flags = events_.flags(*event);
  if (type == platform::kCGEventFlagsChanged) {
    const int64_t keycode = events_.integerValueField(*event, platform::kCGKeyboardEventKeycode);
    auto& map = *modifierEvent_.get_if<channel::ValueMap>();
    const auto entries = map.begin();
    entries[kModifierKeycode].second = keycode;
    entries[kModifierDown].second = isModifierDown(keycode, flags);
    writeFlags(entries + kModifierFlags, flags);
    sink->success(modifierEvent_);
    return;
  }
  if (type == platform::kCGEventKeyDown) {
    const int64_t keycode = events_.integerValueField(*event, platform::kCGKeyboardEventKeycode);
    const bool repeat =
        events_.integerValueField(*event, platform::kCGKeyboardEventAutorepeat) != 0;
    char16_t units[kMaxChars] = {};
    size_t length = 0;
    events_.keyboardGetUnicodeString(*event, kMaxChars, length, units);
    // The reported length is the string's full length, which may exceed what the buffer holds.
    length = std::min(length, kMaxChars);

    auto& map = *keyDownEvent_.get_if<channel::ValueMap>();
    const auto entries = map.begin();
    entries[kKeyDownKeycode].second = keycode;
    entries[kKeyDownRepeat].second = repeat;
    std::string& chars = *entries[kKeyDownChars].second.get_if<std::string>();
    if (length == 0) {
      chars.clear();
    } else {
      chars = text::utf16ToUtf8(std::u16string_view(units, length));
    }
    writeFlags(entries + kKeyDownFlags, flags);
    sink->success(keyDownEvent_);
    return;
  }
  // Only the three mouse-button presses remain in the tap's mask.
  sink->success(clickEvent_);
}

bool KeyEventTapHandler::isModifierDown(int64_t keycode, uint64_t flags) {
  const int64_t index = keycode - kFirstModifierKey;
  if (index < 0 || index >= static_cast<int64_t>(kModifierGroupFlags.size())) return false;
  return (flags & kModifierGroupFlags[static_cast<size_t>(index)]) != 0;
}

}  // namespace tandrel
