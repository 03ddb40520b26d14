// The simulated world with its run loops, threads and the main loop's signal sources on real
// threads, so that ThreadSanitizer sees what crosses threads. The rest stays the world's, used from
// the main thread (the caller's) or reading only the event it is given.
#pragma once

#include <chrono>
#include <memory>

#include "platform/delegating_platform.h"
#include "sim/world.h"

namespace sim {

class RealThreads : public platform::DelegatingPlatform {
 public:
  RealThreads();
  ~RealThreads() override;
  RealThreads(const RealThreads&) = delete;
  RealThreads& operator=(const RealThreads&) = delete;

  platform::Events& events() override;
  platform::MainLoop& mainLoop() override;

  // The caller's thread is the main thread: this runs every block queued to it, after waiting up
  // to `timeout` for the first.
  void runMainFor(std::chrono::milliseconds timeout);
  // The system calls a tap from the thread whose run loop serves it (the latest loop a source was
  // added to).
  void fireTap(platform::TapCallback callback, platform::EventType type,
               platform::EventObject* event, void* userInfo);

  World world;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace sim
