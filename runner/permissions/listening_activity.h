#pragma once
// A process activity held while a stream listens. The host's window is hidden and it is rarely the
// active application, so without one App Nap coalesces its timers and main-loop wake-ups: the
// permission poll, the trust re-check and the key hand-off would come seconds late.

#include "platform/process_info.h"

namespace tandrel {

class ListeningActivity {
 public:
  explicit ListeningActivity(platform::ProcessInfo& processInfo) : processInfo_(processInfo) {}
  ~ListeningActivity() { end(); }
  ListeningActivity(const ListeningActivity&) = delete;
  ListeningActivity& operator=(const ListeningActivity&) = delete;

  // User-initiated, so the process is not napped; yet the machine may still sleep when idle, and a
  // logout or restart need not ask the host to quit (that option set would disable sudden and
  // automatic termination too). Holding one already changes nothing.
  void begin();
  void end();

 private:
  static constexpr uint64_t kOptions = platform::kNSActivityUserInitiatedAllowingIdleSystemSleep &
                                       ~platform::kNSActivitySuddenTerminationDisabled &
                                       ~platform::kNSActivityAutomaticTerminationDisabled;

  platform::ProcessInfo& processInfo_;
  platform::Activity activity_;
};

}  // namespace tandrel
