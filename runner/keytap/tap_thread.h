#pragma once
// A thread of its own whose run loop services one run-loop source (the key tap's), so that no
// pause or blocking call of the main thread can hold the tap's callback.

#include <condition_variable>
#include <memory>
#include <mutex>

#include "platform/events.h"

namespace tandrel {

class TapThread {
 public:
  // Starts the thread and returns once `source` is on its run loop; null when no thread starts.
  static std::unique_ptr<TapThread> start(platform::Events& events, platform::RunLoopSource source);
  // Stops the run loop from inside (a stop queued before the loop runs still counts), joins the
  // thread and takes the source off: after it returns, the source's callback cannot be running.
  // Idempotent; call it on the thread that started this one.
  void stop();
  ~TapThread();
  TapThread(const TapThread&) = delete;
  TapThread& operator=(const TapThread&) = delete;

 private:
  TapThread(platform::Events& events, platform::RunLoopSource source)
      : events_(events), source_(std::move(source)) {}

  platform::Events& events_;
  const platform::RunLoopSource source_;
  platform::Thread thread_;
  // Written by the new thread before it signals `ready_`; read by the starting thread after.
  std::mutex mutex_;
  std::condition_variable readyChanged_;
  bool ready_ = false;
  platform::RunLoop loop_;
};

}  // namespace tandrel
