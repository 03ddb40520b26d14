#include "platform/platform.h"

#include "platform/macos/services.h"

namespace platform {
namespace {

class MacPlatform final : public Platform {
 public:
  Accessibility& accessibility() override { return *accessibility_; }
  Events& events() override { return *events_; }
  Pasteboard& pasteboard() override { return *pasteboard_; }
  Workspace& workspace() override { return *workspace_; }
  DistributedNotifications& distributedNotifications() override {
    return *distributedNotifications_;
  }
  MainLoop& mainLoop() override { return *mainLoop_; }
  ProcessInfo& processInfo() override { return *processInfo_; }
  LoginItems& loginItems() override { return *loginItems_; }
  InputSources& inputSources() override { return *inputSources_; }
  Log& log() override { return *log_; }

 private:
  std::unique_ptr<Accessibility> accessibility_ = macos::makeAccessibility();
  std::unique_ptr<Events> events_ = macos::makeEvents();
  std::unique_ptr<Pasteboard> pasteboard_ = macos::makePasteboard();
  std::unique_ptr<Workspace> workspace_ = macos::makeWorkspace();
  std::unique_ptr<DistributedNotifications> distributedNotifications_ =
      macos::makeDistributedNotifications();
  std::unique_ptr<MainLoop> mainLoop_ = macos::makeMainLoop();
  std::unique_ptr<ProcessInfo> processInfo_ = macos::makeProcessInfo();
  std::unique_ptr<LoginItems> loginItems_ = macos::makeLoginItems();
  std::unique_ptr<InputSources> inputSources_ = macos::makeInputSources();
  std::unique_ptr<Log> log_ = macos::makeLog();
};

}  // namespace

Platform& processPlatform() {
  // Never destroyed: the handler singletons that use it live until the process ends, and may
  // still be reached while static objects are torn down.
  static Platform* const platform = new MacPlatform();
  return *platform;
}

}  // namespace platform
