#pragma once
// The "tandrel/permission_events" stream: one bool each time the required permission flips while
// the Flutter side listens. Inside the sandbox the listen-event access is polled; outside it the
// accessibility-change notification triggers a re-check shortly after, as does the key stream's
// loss of its tap. Outside the sandbox the permission counts as held only while a tap can be made
// (PermissionGate::grant): a deleted row or a stale grant reads as false.

#include <memory>
#include <optional>
#include <string_view>

#include "channel/event_channel.h"
#include "platform/platform.h"
#include "runner/permissions/listening_activity.h"

namespace tandrel {

inline constexpr std::string_view kPermissionEventsChannel = "tandrel/permission_events";

class PermissionWatchHandler : public channel::StreamHandler,
                               public std::enable_shared_from_this<PermissionWatchHandler> {
 public:
  // Poll period inside the sandbox, where no notification tells of a change.
  static constexpr double kPollInterval = 2.0;
  // The notification comes before the new trust state is readable, so look a little later.
  static constexpr double kRecheckDelay = 0.3;

  static std::shared_ptr<PermissionWatchHandler> create(platform::Platform& platform,
                                                        bool sandboxed);
  // The process's instance, on the process's platform; lives until the process ends.
  static const std::shared_ptr<PermissionWatchHandler>& shared();

  ~PermissionWatchHandler() override;
  PermissionWatchHandler(const PermissionWatchHandler&) = delete;
  PermissionWatchHandler& operator=(const PermissionWatchHandler&) = delete;

  // Always succeeds; sends nothing now (the Flutter side asks "check" for the starting state).
  std::optional<channel::ChannelError> onListen(const channel::Value& arguments,
                                                std::unique_ptr<channel::EventSink> sink) override;
  std::optional<channel::ChannelError> onCancel(const channel::Value& arguments) override;

  // Looks again now and reports a flip, as a notification's re-check does.
  void recheck() { emitIfChanged(); }

 private:
  PermissionWatchHandler(platform::Platform& platform, bool sandboxed);

  void emitIfChanged();
  void stopWatching();

  platform::Platform& platform_;
  const bool sandboxed_;

  std::unique_ptr<channel::EventSink> sink;
  platform::Timer timer;
  platform::ObserverToken observer;
  // The last state seen; the baseline a change is measured against.
  std::optional<bool> lastGranted;
  ListeningActivity activity_;
};

}  // namespace tandrel
