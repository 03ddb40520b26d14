#pragma once
// A platform that hands out another platform's services, and services that hand every call to
// another. Tests, benchmarks and the Mac contract suite derive from them to replace just the one
// or two services, or calls, they wrap.

#include <functional>
#include <utility>

#include "platform/platform.h"

namespace platform {

class DelegatingPlatform : public Platform {
 public:
  // Only the reference is kept: `base` may be a member of the derived class, not built yet.
  explicit DelegatingPlatform(Platform& base) : base_(base) {}

  Accessibility& accessibility() override { return base_.accessibility(); }
  Events& events() override { return base_.events(); }
  Pasteboard& pasteboard() override { return base_.pasteboard(); }
  Workspace& workspace() override { return base_.workspace(); }
  DistributedNotifications& distributedNotifications() override {
    return base_.distributedNotifications();
  }
  MainLoop& mainLoop() override { return base_.mainLoop(); }
  ProcessInfo& processInfo() override { return base_.processInfo(); }
  LoginItems& loginItems() override { return base_.loginItems(); }
  InputSources& inputSources() override { return base_.inputSources(); }
  Log& log() override { return base_.log(); }

 private:
  Platform& base_;
};

// A main loop that hands every call to another; derived classes replace the calls they model
// differently (the signal sources, on real threads or as the OS raises them).
class DelegatingMainLoop : public MainLoop {
 public:
  explicit DelegatingMainLoop(MainLoop& base) : base_(base) {}

  Timer scheduledTimer(double intervalSeconds, bool repeats, std::function<void()> block) override {
    return base_.scheduledTimer(intervalSeconds, repeats, std::move(block));
  }
  void invalidate(const Timer& timer) override { base_.invalidate(timer); }
  void dispatchAfter(double delaySeconds, std::function<void()> block) override {
    base_.dispatchAfter(delaySeconds, std::move(block));
  }
  SignalSource addSignalSource(std::function<void()> perform) override {
    return base_.addSignalSource(std::move(perform));
  }
  void signal(const SignalSource& source) override { base_.signal(source); }
  void invalidateSignalSource(const SignalSource& source) override {
    base_.invalidateSignalSource(source);
  }
  void sleepMicroseconds(uint32_t microseconds) override { base_.sleepMicroseconds(microseconds); }

 private:
  MainLoop& base_;
};

// An events service that hands every call to another; derived classes replace the calls they
// model differently (the run loops and threads, on real threads).
class DelegatingEvents : public Events {
 public:
  explicit DelegatingEvents(Events& base) : base_(base) {}

  MachPort tapCreate(TapLocation location, TapPlacement placement, TapOptions options,
                     uint64_t eventsOfInterest, TapCallback callback, void* userInfo) override {
    return base_.tapCreate(location, placement, options, eventsOfInterest, callback, userInfo);
  }
  void tapEnable(const MachPort& tap, bool enable) override { base_.tapEnable(tap, enable); }
  bool tapIsEnabled(const MachPort& tap) override { return base_.tapIsEnabled(tap); }
  bool machPortIsValid(const MachPort& tap) override { return base_.machPortIsValid(tap); }
  RunLoopSource createRunLoopSource(const MachPort& tap) override {
    return base_.createRunLoopSource(tap);
  }
  RunLoop mainRunLoop() override { return base_.mainRunLoop(); }
  RunLoop currentRunLoop() override { return base_.currentRunLoop(); }
  void addSource(const RunLoop& loop, const RunLoopSource& source) override {
    base_.addSource(loop, source);
  }
  void removeSource(const RunLoop& loop, const RunLoopSource& source) override {
    base_.removeSource(loop, source);
  }
  void runCurrentRunLoop() override { base_.runCurrentRunLoop(); }
  void stopRunLoop(const RunLoop& loop) override { base_.stopRunLoop(loop); }
  void performBlock(const RunLoop& loop, std::function<void()> block) override {
    base_.performBlock(loop, std::move(block));
  }
  Thread startThread(std::function<void()> body) override {
    return base_.startThread(std::move(body));
  }
  void joinThread(const Thread& thread) override { base_.joinThread(thread); }
  int setThreadQosClassSelf(QosClass qos) override { return base_.setThreadQosClassSelf(qos); }
  int64_t integerValueField(EventObject& event, EventField field) override {
    return base_.integerValueField(event, field);
  }
  EventFlags flags(EventObject& event) override { return base_.flags(event); }
  void keyboardGetUnicodeString(EventObject& event, size_t maxLength, size_t& actualLength,
                                char16_t* buffer) override {
    base_.keyboardGetUnicodeString(event, maxLength, actualLength, buffer);
  }
  EventSource createSource(EventSourceStateID state) override { return base_.createSource(state); }
  void sourceSetUserData(const EventSource& source, int64_t userData) override {
    base_.sourceSetUserData(source, userData);
  }
  void sourceSetLocalEventsSuppressionInterval(const EventSource& source, double seconds) override {
    base_.sourceSetLocalEventsSuppressionInterval(source, seconds);
  }
  double sourceLocalEventsSuppressionInterval(const EventSource& source) override {
    return base_.sourceLocalEventsSuppressionInterval(source);
  }
  void sourceSetLocalEventsFilterDuringSuppressionState(const EventSource& source,
                                                        EventFilterMask filter,
                                                        EventSuppressionState state) override {
    base_.sourceSetLocalEventsFilterDuringSuppressionState(source, filter, state);
  }
  EventFilterMask sourceLocalEventsFilterDuringSuppressionState(
      const EventSource& source, EventSuppressionState state) override {
    return base_.sourceLocalEventsFilterDuringSuppressionState(source, state);
  }
  Event createKeyboardEvent(const EventSource& source, uint16_t keycode, bool keyDown) override {
    return base_.createKeyboardEvent(source, keycode, keyDown);
  }
  void setFlags(const Event& event, EventFlags flags) override { base_.setFlags(event, flags); }
  void keyboardSetUnicodeString(const Event& event, size_t length, const char16_t* units) override {
    base_.keyboardSetUnicodeString(event, length, units);
  }
  void post(TapLocation location, const Event& event) override { base_.post(location, event); }
  bool preflightListenEventAccess() override { return base_.preflightListenEventAccess(); }
  bool requestListenEventAccess() override { return base_.requestListenEventAccess(); }
  bool preflightPostEventAccess() override { return base_.preflightPostEventAccess(); }
  bool requestPostEventAccess() override { return base_.requestPostEventAccess(); }
  bool isSecureEventInputEnabled() override { return base_.isSecureEventInputEnabled(); }

 private:
  Events& base_;
};

}  // namespace platform
