#pragma once
// The "tandrel/key_events" stream: while the Flutter side listens, a system-wide event tap reports
// every key press, modifier change and mouse-button press the user makes, plus application
// switches and the loss of the permission the tap needs. Input is only observed, never altered.
//
// An active tap holds every event of the session until its callback answers, so the callback runs
// on a thread of its own (TapThread) that no channel call can block. It only copies each event
// into a record for the main thread (TapHandoff), and switches the tap back on when the system
// turned it off and the permission still holds, as a tap made to test it shows; everything else
// happens on the main thread, in arrival order. The tap, its thread and the hand-off belong to one
// listen and are owned by the handler on the main thread, which tears them down (stop, join,
// release) there.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>

#include "channel/event_channel.h"
#include "channel/value.h"
#include "platform/platform.h"
#include "runner/keytap/tap_handoff.h"
#include "runner/permissions/listening_activity.h"
#include "runner/permissions/permission_watch_handler.h"

namespace tandrel {

inline constexpr std::string_view kKeyEventsChannel = "tandrel/key_events";
// Posted when the user unlocks the screen; a lock without sleep posts nothing else.
inline constexpr std::string_view kScreenUnlocked = "com.apple.screenIsUnlocked";

class KeyEventTapHandler : public channel::StreamHandler,
                           public std::enable_shared_from_this<KeyEventTapHandler> {
 public:
  // A tap the system switched off this many times in a row, with no event served between, is not
  // being serviced, whatever the permission checks say: the next switch-off loses it. An unserviced
  // tap holds one event for the system's tap timeout each time it is switched back on.
  static constexpr int kMaxRearms = 3;

  // The system checks the trust state a little after it announces a change.
  static constexpr double kTrustRecheckDelay = 0.3;

  // How many UTF-16 units of a key press's characters are read.
  static constexpr size_t kMaxChars = TapRecord::kMaxChars;

  static std::shared_ptr<KeyEventTapHandler> create(platform::Platform& platform, bool sandboxed);
  // The process's instance, on the process's platform; lives until the process ends.
  static const std::shared_ptr<KeyEventTapHandler>& shared();

  ~KeyEventTapHandler() override;
  KeyEventTapHandler(const KeyEventTapHandler&) = delete;
  KeyEventTapHandler& operator=(const KeyEventTapHandler&) = delete;

  // Fails with "no_permission" when the required permission is missing or the tap cannot be set
  // up; then nothing is left behind. The error's details name the case: {"reason": "notGranted"},
  // {"reason": "stale"} (AXIsProcessTrusted says yes, yet no tap can be made), or
  // {"reason": "tapFailed"}.
  std::optional<channel::ChannelError> onListen(const channel::Value& arguments,
                                                std::unique_ptr<channel::EventSink> sink) override;
  std::optional<channel::ChannelError> onCancel(const channel::Value& arguments) override;

  // Whether the modifier group of a modifier key is held in `flags` (false for other keys).
  static bool isModifierDown(int64_t keycode, uint64_t flags);

  // The function the tap calls for every event, on the tap's thread; `userInfo` is what
  // tapUserInfo() gives. It drops the host's own events, copies the rest into a record for the
  // main thread, and returns the event unchanged, so input always reaches its application as
  // typed. A tap-disabled notice re-enables the tap at once when the permission holds, else it
  // goes to the main thread.
  static platform::EventObject* tapCallback(platform::EventType type, platform::EventObject* event,
                                            void* userInfo);
  // What the current tap was created with (null while there is none), for calling tapCallback
  // as the system does.
  void* tapUserInfo() const;

  // Builds the stream's event for a record and hands it to `sink`; the main thread's part of each
  // key press, modifier change or click. Returns false for a record of another kind.
  bool report(const TapRecord& record, channel::EventSink& sink);

  // The permission stream of the same engine, which re-checks the permission when this stream
  // loses its tap: no notification tells of a deleted Accessibility row.
  void setPermissionStream(std::weak_ptr<PermissionWatchHandler> stream) {
    permissionStream_ = std::move(stream);
  }

 private:
  struct TapSession;

  KeyEventTapHandler(platform::Platform& platform, bool sandboxed);

  // Creates the tap, its thread and its hand-off; an error leaves nothing behind.
  std::optional<channel::ChannelError> startTap();
  // Takes every record the tap's thread handed over, in order.
  void drain();
  void handle(const TapRecord& record);
  // The tap, its thread and its hand-off go (on the main thread, outside the callback).
  void releaseTap();
  // releaseTap, and the trust observer with it: nothing is left to watch.
  void teardownTap();
  void checkTrust();
  // After wake, an unlock or a return to this user's session: a tap the system switched off or
  // invalidated without a notice comes back.
  void reviveTap();
  // The tap is gone for want of the permission: torn down, and "permissionLost" sent once.
  void loseTap();
  // One key event translated here, before the tap's thread could be the first to translate.
  void translateOnMainThread();
  // Cancel's work, also run before a listen that follows another and on destruction.
  void stopAll();
  void push(const channel::Value& event) {
    if (sink) sink->success(event);
  }

  platform::Platform& platform_;
  platform::Events& events_;
  const bool sandboxed_;

  std::unique_ptr<channel::EventSink> sink;
  std::unique_ptr<TapSession> session_;
  platform::ObserverToken appObserver;
  platform::ObserverToken trustObserver;
  platform::ObserverToken wakeObserver_;
  platform::ObserverToken sessionObserver_;
  platform::ObserverToken unlockObserver_;
  // Held from a successful listen to the cancel.
  ListeningActivity activity_;
  std::weak_ptr<PermissionWatchHandler> permissionStream_;

  // The event maps are built once; each event only overwrites their values, so the per-event
  // path allocates nothing for ordinary key presses.
  channel::Value keyDownEvent_;
  channel::Value modifierEvent_;
  const channel::Value clickEvent_;
  const channel::Value appChangedEvent_;
  const channel::Value permissionLostEvent_;
};

}  // namespace tandrel
