#pragma once
// A platform that hands out another platform's services. Tests, benchmarks and the Mac contract
// suite derive from it to replace just the one or two services they wrap.

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

}  // namespace platform
