#include "runner/permissions/permission_watch_handler.h"

#include <utility>

#include "runner/permissions/permission_gate.h"

namespace tandrel {

std::shared_ptr<PermissionWatchHandler> PermissionWatchHandler::create(platform::Platform& platform,
                                                                       bool sandboxed) {
  return std::shared_ptr<PermissionWatchHandler>(new PermissionWatchHandler(platform, sandboxed));
}

const std::shared_ptr<PermissionWatchHandler>& PermissionWatchHandler::shared() {
  // Never destroyed: the instance serves the process to its very end, and must not outlive the
  // platform during static destruction.
  static const auto* instance = new std::shared_ptr<PermissionWatchHandler>(
      create(platform::processPlatform(), PermissionGate::sandboxed()));
  return *instance;
}

PermissionWatchHandler::PermissionWatchHandler(platform::Platform& platform, bool sandboxed)
    : platform_(platform), sandboxed_(sandboxed), activity_(platform.processInfo()) {}

PermissionWatchHandler::~PermissionWatchHandler() {
  stopWatching();
}

std::optional<channel::ChannelError> PermissionWatchHandler::onListen(
    const channel::Value& /*arguments*/, std::unique_ptr<channel::EventSink> newSink) {
  // A listen that follows another without a cancel must not leave the earlier timer or
  // observer running beside the new one.
  stopWatching();
  sink = std::move(newSink);
  activity_.begin();

  const std::weak_ptr<PermissionWatchHandler> weak = weak_from_this();
  lastGranted = PermissionGate::grant(platform_, sandboxed_) == PermissionGate::Grant::kGranted;
  if (sandboxed_) {
    timer = platform_.mainLoop().scheduledTimer(kPollInterval, true, [weak] {
      if (const auto self = weak.lock()) self->emitIfChanged();
    });
  } else {
    platform::MainLoop& loop = platform_.mainLoop();
    // The host is rarely the active application: a suspended notification would come only when
    // the user next brings it to the front.
    observer = platform_.distributedNotifications().addObserver(
        kAccessibilityChanged, platform::SuspensionBehavior::kDeliverImmediately, [weak, &loop] {
          // Every notification gets its own re-check; they are cheap and the first one that sees
          // the new state reports it.
          loop.dispatchAfter(kRecheckDelay, [weak] {
            if (const auto self = weak.lock()) self->emitIfChanged();
          });
        });
  }
  return std::nullopt;
}

std::optional<channel::ChannelError> PermissionWatchHandler::onCancel(
    const channel::Value& /*arguments*/) {
  stopWatching();
  activity_.end();
  sink.reset();
  // lastGranted stays: the next listen takes a fresh baseline anyway.
  return std::nullopt;
}

void PermissionWatchHandler::stopWatching() {
  if (timer) {
    platform_.mainLoop().invalidate(timer);
    timer.reset();
  }
  if (observer) {
    platform_.distributedNotifications().removeObserver(observer);
    observer.reset();
  }
}

void PermissionWatchHandler::emitIfChanged() {
  const bool granted =
      PermissionGate::grant(platform_, sandboxed_) == PermissionGate::Grant::kGranted;
  if (lastGranted == granted) return;
  lastGranted = granted;
  if (sink) sink->success(channel::Value(granted));
}

}  // namespace tandrel
