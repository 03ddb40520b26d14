#pragma once
// The simulated window server: event taps, run loops and threads, event sources, posting.

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "sim/world.h"

namespace platform {

struct EventObject {
  EventType type = 0;
  uint16_t keycode = 0;
  bool autorepeat = false;
  EventFlags flags = 0;
  std::u16string unicode;
  bool unicodeSet = false;  // replaced with CGEventKeyboardSetUnicodeString
  int64_t userData = 0;     // field 42
  bool hadSource = false;
  int64_t postedIndex = -1;  // the world's record of it, for a posted event
  std::weak_ptr<EventSourceObject> source;
};

struct EventSourceObject {
  EventSourceStateID state = 0;
  int64_t userData = 0;
  double suppressionInterval = 0.25;
  // Which local events pass during suppression, by CGEventSuppressionState.
  std::array<EventFilterMask, 2> filters{kCGEventFilterMaskPermitAllEvents,
                                         kCGEventFilterMaskPermitAllEvents};
};

}  // namespace platform

namespace sim {

// A tap as the system keeps it. Owned by its mach port: when the port is released the tap is gone,
// and everything else (the world's list, run-loop sources) holds it weakly.
struct TapState {
  platform::TapLocation location = 0;
  platform::TapPlacement placement = 0;
  platform::TapOptions options = 0;
  uint64_t mask = 0;
  platform::TapCallback callback = nullptr;
  void* userInfo = nullptr;
  bool enabled = true;  // CGEventTapCreate hands out an enabled tap
  bool valid = true;    // false once the system invalidated its port
  int inCallback = 0;   // its callback is running (nested calls counted)
};

}  // namespace sim

namespace platform {

struct MachPortObject {
  explicit MachPortObject(std::shared_ptr<sim::TapState> state) : tap(std::move(state)) {}
  MachPortObject(const MachPortObject&) = delete;
  MachPortObject& operator=(const MachPortObject&) = delete;
  // Releasing the port ends the tap; doing so inside the tap's own callback leaves CoreGraphics
  // running on a port that is gone, so the simulation reports it as a programming error.
  ~MachPortObject();
  std::shared_ptr<sim::TapState> tap;
};

// A run loop: the main thread's, or a thread's own, serviced from CFRunLoopRun until stopped.
struct RunLoopObject {
  bool isMain = false;
  bool running = false;
  bool stopped = false;
};

struct ThreadObject {
  std::shared_ptr<RunLoopObject> loop;  // its run loop, made on first CFRunLoopGetCurrent
  bool joined = false;
  QosClass qos = kQosClassDefault;  // a new thread does not inherit the main thread's class
};

struct RunLoopSourceObject {
  std::weak_ptr<sim::TapState> tap;
};

}  // namespace platform

namespace sim {

class SimEvents final : public platform::Events {
 public:
  explicit SimEvents(World::Impl& w) : w_(w) {}
  platform::MachPort tapCreate(platform::TapLocation location, platform::TapPlacement placement,
                               platform::TapOptions options, uint64_t eventsOfInterest,
                               platform::TapCallback callback, void* userInfo) override;
  void tapEnable(const platform::MachPort& tap, bool enable) override;
  bool tapIsEnabled(const platform::MachPort& tap) override;
  bool machPortIsValid(const platform::MachPort& tap) override;
  platform::RunLoopSource createRunLoopSource(const platform::MachPort& tap) override;
  platform::RunLoop mainRunLoop() override;
  platform::RunLoop currentRunLoop() override;
  void addSource(const platform::RunLoop& loop, const platform::RunLoopSource& source) override;
  void removeSource(const platform::RunLoop& loop, const platform::RunLoopSource& source) override;
  void runCurrentRunLoop() override;
  void stopRunLoop(const platform::RunLoop& loop) override;
  void performBlock(const platform::RunLoop& loop, std::function<void()> block) override;
  platform::Thread startThread(std::function<void()> body) override;
  void joinThread(const platform::Thread& thread) override;
  int setThreadQosClassSelf(platform::QosClass qos) override;
  int64_t integerValueField(platform::EventObject& event, platform::EventField field) override;
  platform::EventFlags flags(platform::EventObject& event) override;
  void keyboardGetUnicodeString(platform::EventObject& event, size_t maxLength,
                                size_t& actualLength, char16_t* buffer) override;
  platform::EventSource createSource(platform::EventSourceStateID state) override;
  void sourceSetUserData(const platform::EventSource& source, int64_t userData) override;
  void sourceSetLocalEventsSuppressionInterval(const platform::EventSource& source,
                                               double seconds) override;
  double sourceLocalEventsSuppressionInterval(const platform::EventSource& source) override;
  void sourceSetLocalEventsFilterDuringSuppressionState(
      const platform::EventSource& source, platform::EventFilterMask filter,
      platform::EventSuppressionState state) override;
  platform::EventFilterMask sourceLocalEventsFilterDuringSuppressionState(
      const platform::EventSource& source, platform::EventSuppressionState state) override;
  platform::Event createKeyboardEvent(const platform::EventSource& source, uint16_t keycode,
                                      bool keyDown) override;
  void setFlags(const platform::Event& event, platform::EventFlags flags) override;
  void keyboardSetUnicodeString(const platform::Event& event, size_t length,
                                const char16_t* units) override;
  void post(platform::TapLocation location, const platform::Event& event) override;
  bool preflightListenEventAccess() override;
  bool requestListenEventAccess() override;
  bool preflightPostEventAccess() override;
  bool requestPostEventAccess() override;
  bool isSecureEventInputEnabled() override;

 private:
  World::Impl& w_;
};

}  // namespace sim
