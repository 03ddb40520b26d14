// The macOS implementations of the seam's services, one per file. Each function makes one OS
// call and converts types; every decision stays in the portable core.
#pragma once

#include <memory>

#include "platform/platform.h"

@class NSPasteboard;

namespace platform::macos {

std::unique_ptr<Accessibility> makeAccessibility();
std::unique_ptr<Events> makeEvents();
std::unique_ptr<Pasteboard> makePasteboard();  // the general pasteboard
std::unique_ptr<Pasteboard> makePasteboard(NSPasteboard* pasteboard);
std::unique_ptr<Workspace> makeWorkspace();
std::unique_ptr<DistributedNotifications> makeDistributedNotifications();
std::unique_ptr<MainLoop> makeMainLoop();
std::unique_ptr<ProcessInfo> makeProcessInfo();
std::unique_ptr<LoginItems> makeLoginItems();
std::unique_ptr<InputSources> makeInputSources();
std::unique_ptr<Log> makeLog();

}  // namespace platform::macos
