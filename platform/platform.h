#pragma once
// The process's platform: every OS service the core uses. One backend is linked in: the
// simulated macOS on other systems, the macOS adapters on Apple.

#include "platform/accessibility.h"
#include "platform/events.h"
#include "platform/input_sources.h"
#include "platform/log.h"
#include "platform/login_items.h"
#include "platform/main_loop.h"
#include "platform/pasteboard.h"
#include "platform/process_info.h"
#include "platform/workspace.h"

namespace platform {

class Platform {
 public:
  virtual ~Platform() = default;
  virtual Accessibility& accessibility() = 0;
  virtual Events& events() = 0;
  virtual Pasteboard& pasteboard() = 0;
  virtual Workspace& workspace() = 0;
  virtual DistributedNotifications& distributedNotifications() = 0;
  virtual MainLoop& mainLoop() = 0;
  virtual ProcessInfo& processInfo() = 0;
  virtual LoginItems& loginItems() = 0;
  virtual InputSources& inputSources() = 0;
  virtual Log& log() = 0;
};

// The platform of this process, built on first use and kept for its life. Defined by the backend.
Platform& processPlatform();

}  // namespace platform
