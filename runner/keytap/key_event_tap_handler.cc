#include "runner/keytap/key_event_tap_handler.h"

#include <algorithm>
#include <string>
#include <utility>

#include "runner/automation/automation_handler.h"
#include "runner/automation/manual_accessibility.h"
#include "runner/keytap/tap_thread.h"
#include "runner/permissions/permission_gate.h"
#include "text/text.h"

namespace tandrel {
namespace {

// The stream's refusals: one code, the case in the message and in the details' "reason".
constexpr std::string_view kNoPermissionCode = "no_permission";
constexpr std::string_view kPermissionNotGrantedMessage = "Key listening permission is not granted";
constexpr std::string_view kStaleGrantMessage =
    "Accessibility is granted, but no event tap can be made: the grant is stale (the app was "
    "signed again, or its row deleted). Remove the app from System Settings > Privacy & Security "
    "> Accessibility and add it again.";
constexpr std::string_view kTapCreationFailedMessage =
    "CGEventTap creation failed \u2014 permission missing?";

channel::ChannelError noPermission(std::string_view message, const char* reason) {
  return channel::ChannelError{std::string(kNoPermissionCode), std::string(message),
                               channel::ValueMap{{"reason", reason}}};
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

// One listen's tap. The tap's thread reads only `platform`, `sandboxed`, `events`, `mainLoop`,
// `signal`, `handoff` and `tap`, which are set before it starts and stay until it has been joined,
// and it alone uses `rearms`.
struct KeyEventTapHandler::TapSession {
  TapSession(platform::Platform& p, bool sandboxedProcess)
      : platform(p),
        sandboxed(sandboxedProcess),
        events(p.events()),
        mainLoop(p.mainLoop()),
        handoff(&wake, this) {}
  TapSession(const TapSession&) = delete;
  TapSession& operator=(const TapSession&) = delete;

  static void wake(void* context) {
    auto* self = static_cast<TapSession*>(context);
    self->mainLoop.signal(self->signal);
  }

  platform::Platform& platform;
  const bool sandboxed;
  platform::Events& events;
  platform::MainLoop& mainLoop;
  TapHandoff handoff;
  int rearms = 0;  // switched back on since the last event it served
  platform::SignalSource signal;
  platform::MachPort tap;
  platform::RunLoopSource source;
  std::unique_ptr<TapThread> thread;  // declared last: stopped and joined first
};

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
      activity_(platform.processInfo()),
      keyDownEvent_(makeKeyDownEvent()),
      modifierEvent_(makeModifierEvent()),
      clickEvent_(makeTypeOnlyEvent("click")),
      appChangedEvent_(makeTypeOnlyEvent("appChanged")),
      permissionLostEvent_(makeTypeOnlyEvent("permissionLost")) {}

KeyEventTapHandler::~KeyEventTapHandler() {
  // The tap's thread holds a plain pointer into this handler's session: it must be stopped
  // before the handler goes.
  stopAll();
}

std::optional<channel::ChannelError> KeyEventTapHandler::onListen(
    const channel::Value& /*arguments*/, std::unique_ptr<channel::EventSink> newSink) {
  // A listen that follows another without a cancel replaces it whole: no earlier tap or
  // observer may stay behind, whatever this listen's outcome.
  stopAll();

  if (!PermissionGate::reportedGranted(platform_, sandboxed_)) {
    return noPermission(kPermissionNotGrantedMessage, "notGranted");
  }
  if (auto error = startTap()) return error;
  sink = std::move(newSink);

  if (sandboxed_ && !events_.preflightPostEventAccess()) {
    // Synthetic input needs posting access too; ask while the user is granting things anyway.
    // Listening goes on whatever the answer.
    (void)events_.requestPostEventAccess();
  }

  const std::weak_ptr<KeyEventTapHandler> weak = weak_from_this();
  platform::Workspace& workspace = platform_.workspace();
  // Electron applications build their tree only once asked to, and late: asked as they come to
  // the front, it is there by the time a field is looked for.
  const std::shared_ptr<AccessibilitySwitches> switches = AccessibilitySwitches::of(platform_);
  appObserver = workspace.addDidActivateApplicationObserver(
      [weak, switches](const std::optional<platform::RunningApplication>& app) {
        if (const auto self = weak.lock()) self->push(self->appChangedEvent_);
        if (app) switches->activated(app->processIdentifier);
      });
  if (const auto front = workspace.frontmostApplication()) {
    switches->activated(front->processIdentifier);
  }
  // Sleep, screen lock and user switching can switch the tap off without any notice.
  const auto revive = [weak] {
    if (const auto self = weak.lock()) self->reviveTap();
  };
  wakeObserver_ = workspace.addObserver(platform::Workspace::Notification::kDidWake, revive);
  sessionObserver_ =
      workspace.addObserver(platform::Workspace::Notification::kSessionDidBecomeActive, revive);
  // A lock without sleep posts neither of those. The host is rarely the active application, so
  // the unlock must not wait for it to come to the front.
  unlockObserver_ = platform_.distributedNotifications().addObserver(
      kScreenUnlocked, platform::SuspensionBehavior::kDeliverImmediately, revive);

  if (!sandboxed_) {
    platform::MainLoop& loop = platform_.mainLoop();
    // The host is rarely the active application: a suspended notification would come only when
    // the user next brings it to the front.
    trustObserver = platform_.distributedNotifications().addObserver(
        kAccessibilityChanged, platform::SuspensionBehavior::kDeliverImmediately, [weak, &loop] {
          loop.dispatchAfter(kTrustRecheckDelay, [weak] {
            if (const auto self = weak.lock()) self->checkTrust();
          });
        });
  }
  activity_.begin();
  return std::nullopt;
}

std::optional<channel::ChannelError> KeyEventTapHandler::startTap() {
  auto session = std::make_unique<TapSession>(platform_, sandboxed_);
  session->tap = PermissionGate::createKeyTap(events_, sandboxed_, &KeyEventTapHandler::tapCallback,
                                              session.get());
  if (!session->tap) {
    // Outside the sandbox the permission was just reported granted: a refused tap is the one
    // sign of a stale grant.
    return sandboxed_ ? noPermission(kTapCreationFailedMessage, "tapFailed")
                      : noPermission(kStaleGrantMessage, "stale");
  }
  session->source = events_.createRunLoopSource(session->tap);
  if (!session->source) {
    // A tap that can never deliver is no tap at all; release it rather than keep it half set up.
    events_.tapEnable(session->tap, false);
    return noPermission(kTapCreationFailedMessage, "tapFailed");
  }
  const std::weak_ptr<KeyEventTapHandler> weak = weak_from_this();
  session->signal = platform_.mainLoop().addSignalSource([weak] {
    if (const auto self = weak.lock()) self->drain();
  });
  translateOnMainThread();
  // Without the signal the main thread would never hear of a record; without the thread the tap
  // would never be served.
  if (session->signal) session->thread = TapThread::start(events_, session->source);
  if (!session->thread) {
    events_.tapEnable(session->tap, false);
    platform_.mainLoop().invalidateSignalSource(session->signal);
    return noPermission(kTapCreationFailedMessage, "tapFailed");
  }
  events_.tapEnable(session->tap, true);
  session_ = std::move(session);
  return std::nullopt;
}

std::optional<channel::ChannelError> KeyEventTapHandler::onCancel(
    const channel::Value& /*arguments*/) {
  stopAll();
  return std::nullopt;
}

void KeyEventTapHandler::stopAll() {
  platform::Workspace& workspace = platform_.workspace();
  for (platform::ObserverToken* token : {&appObserver, &wakeObserver_, &sessionObserver_}) {
    if (*token) workspace.removeObserver(*token);
    token->reset();
  }
  if (unlockObserver_) platform_.distributedNotifications().removeObserver(unlockObserver_);
  unlockObserver_.reset();
  teardownTap();
  activity_.end();
  sink.reset();
}

void KeyEventTapHandler::releaseTap() {
  if (!session_) return;
  const std::unique_ptr<TapSession> session = std::move(session_);
  events_.tapEnable(session->tap, false);
  // Once joined, the tap's thread is out of the callback for good: the port can go.
  session->thread->stop();
  platform_.mainLoop().invalidateSignalSource(session->signal);
}

void KeyEventTapHandler::teardownTap() {
  if (trustObserver) {
    platform_.distributedNotifications().removeObserver(trustObserver);
    trustObserver.reset();
  }
  releaseTap();
}

void KeyEventTapHandler::translateOnMainThread() {
  // The first translation of a key event in a process may set up the system's key translation
  // through the input-source services, which belong to the main thread; done here, the tap's
  // thread is never the first.
  const platform::Event event = events_.createKeyboardEvent(nullptr, 0, true);
  if (!event) return;
  std::array<char16_t, kMaxChars> chars{};
  size_t length = 0;
  events_.keyboardGetUnicodeString(*event, chars.size(), length, chars.data());
}

void KeyEventTapHandler::loseTap() {
  teardownTap();
  push(permissionLostEvent_);
  if (const auto stream = permissionStream_.lock()) stream->recheck();
}

void KeyEventTapHandler::checkTrust() {
  if (!session_) return;
  if (PermissionGate::grant(platform_, sandboxed_) == PermissionGate::Grant::kGranted) return;
  drain();  // what the user did before the loss is reported before it
  if (!session_) return;
  loseTap();
}

void KeyEventTapHandler::reviveTap() {
  if (!session_) return;
  drain();
  if (!session_) return;
  if (PermissionGate::grant(platform_, sandboxed_) != PermissionGate::Grant::kGranted) {
    loseTap();
    return;
  }
  if (!events_.machPortIsValid(session_->tap)) {
    releaseTap();
    // The same sink goes on; a tap that cannot come back is a lost one.
    if (startTap()) loseTap();
    return;
  }
  if (!events_.tapIsEnabled(session_->tap)) events_.tapEnable(session_->tap, true);
}

void* KeyEventTapHandler::tapUserInfo() const {
  return session_.get();
}

platform::EventObject* KeyEventTapHandler::tapCallback(platform::EventType type,
                                                       platform::EventObject* event,
                                                       void* userInfo) {
  auto* session = static_cast<TapSession*>(userInfo);
  TapRecord record;
  record.type = type;
  if (isTapDisabledNotice(type)) {
    // Switched back on here and now: the main thread may be blocked in a call for many seconds,
    // and every key typed meanwhile would pass the tap unseen. But never without the permission:
    // the system no longer services a tap whose grant is gone, and each re-arm would hold the
    // session's next event for the tap timeout. AXIsProcessTrusted keeps answering yes after the
    // user deletes the app's row, so a tap is made and released to see; both checks may run on
    // this thread (they read this process's privacy state and touch no AppKit state). Nor more
    // than kMaxRearms times in a row without an event served. Otherwise the main thread reports
    // the loss.
    record.rearmsSpent = session->rearms >= kMaxRearms;
    if (!record.rearmsSpent && PermissionGate::grant(session->platform, session->sandboxed) ==
                                   PermissionGate::Grant::kGranted) {
      ++session->rearms;
      session->events.tapEnable(session->tap, true);
      return event;
    }
  } else {
    if (event == nullptr) return event;
    session->rearms = 0;  // serviced
    platform::Events& events = session->events;
    // The host's own synthetic typing comes through the tap as well.
    if (events.integerValueField(*event, platform::kCGEventSourceUserData) == kOwnEventMarker) {
      return event;
    }
    record.flags = events.flags(*event);
    if (type == platform::kCGEventKeyDown || type == platform::kCGEventFlagsChanged) {
      record.keycode = events.integerValueField(*event, platform::kCGKeyboardEventKeycode);
    }
    if (type == platform::kCGEventKeyDown) {
      record.repeat = events.integerValueField(*event, platform::kCGKeyboardEventAutorepeat) != 0;
      size_t length = 0;
      events.keyboardGetUnicodeString(*event, kMaxChars, length, record.chars.data());
      // The reported length is the string's full length, which may exceed what the buffer holds.
      record.length = static_cast<uint8_t>(std::min(length, kMaxChars));
    }
  }
  session->handoff.push(record);
  return event;
}

void KeyEventTapHandler::drain() {
  if (!session_) return;
  session_->handoff.startDrain();
  TapRecord record;
  // A record may end the session (a lost permission): look again before each one.
  while (session_ && session_->handoff.pop(record)) handle(record);
}

void KeyEventTapHandler::handle(const TapRecord& record) {
  if (isTapDisabledNotice(record.type)) {
    // The tap's thread found the permission gone, or the tap unserviced. Only a tap this handler
    // still holds can be reported lost; this also keeps a late notice from reporting the loss a
    // second time. The permission may have come back meanwhile: then the tap goes on.
    if (!session_) return;
    if (!record.rearmsSpent &&
        PermissionGate::grant(platform_, sandboxed_) == PermissionGate::Grant::kGranted) {
      events_.tapEnable(session_->tap, true);
    } else {
      loseTap();
    }
    return;
  }
  if (sink) report(record, *sink);
}

bool KeyEventTapHandler::report(const TapRecord& record, channel::EventSink& out) {
  if (record.type == platform::kCGEventFlagsChanged) {
    auto& map = *modifierEvent_.get_if<channel::ValueMap>();
    const auto entries = map.begin();
    entries[kModifierKeycode].second = record.keycode;
    entries[kModifierDown].second = isModifierDown(record.keycode, record.flags);
    writeFlags(entries + kModifierFlags, record.flags);
    out.success(modifierEvent_);
    return true;
  }
  if (record.type == platform::kCGEventKeyDown) {
    auto& map = *keyDownEvent_.get_if<channel::ValueMap>();
    const auto entries = map.begin();
    entries[kKeyDownKeycode].second = record.keycode;
    entries[kKeyDownRepeat].second = record.repeat;
    std::string& chars = *entries[kKeyDownChars].second.get_if<std::string>();
    const std::u16string_view units(record.chars.data(), record.length);
    // Most keys type ASCII: copied in place, without a conversion call. Either way the reused
    // string keeps its capacity, so no key press allocates once it has grown.
    if (std::all_of(units.begin(), units.end(), [](char16_t u) { return u < 0x80; })) {
      chars.assign(units.begin(), units.end());
    } else {
      text::utf16ToUtf8(units, chars);
    }
    writeFlags(entries + kKeyDownFlags, record.flags);
    out.success(keyDownEvent_);
    return true;
  }
  const bool isClick = record.type == platform::kCGEventLeftMouseDown ||
                       record.type == platform::kCGEventRightMouseDown ||
                       record.type == platform::kCGEventOtherMouseDown;
  if (isClick) out.success(clickEvent_);
  return isClick;
}

bool KeyEventTapHandler::isModifierDown(int64_t keycode, uint64_t flags) {
  const int64_t index = keycode - kFirstModifierKey;
  if (index < 0 || index >= static_cast<int64_t>(kModifierGroupFlags.size())) return false;
  return (flags & kModifierGroupFlags[static_cast<size_t>(index)]) != 0;
}

}  // namespace tandrel
