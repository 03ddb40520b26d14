#pragma once
// A platform that hands out another platform's services. Tests, benchmarks and the Mac contract
// suite derive from it to replace just the one or two services they wrap.

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

}  // namespace platform
