#include "sim/real_threads.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace sim {
namespace {

// A run loop on a real thread, as CoreFoundation's behaves: blocks queued to it run in order,
// those queued before it runs included; a stop reaches only a loop that runs (one that comes
// earlier is lost); a loop with no source returns at once.
struct RealLoop {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::function<void()>> blocks;
  bool running = false;
  bool stopped = false;
  std::vector<platform::RunLoopSource> sources;

  void perform(std::function<void()> block) {
    {
      const std::lock_guard lock(mutex);
      blocks.push_back(std::move(block));
    }
    changed.notify_all();
  }
  void stop() {
    {
      const std::lock_guard lock(mutex);
      stopped = running;
    }
    changed.notify_all();
  }
  void run() {
    {
      const std::lock_guard lock(mutex);
      if (sources.empty()) return;
      running = true;
      stopped = false;
    }
    for (;;) {
      std::function<void()> block;
      {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return stopped || !blocks.empty(); });
        if (stopped) {
          running = false;
          return;
        }
        block = std::move(blocks.front());
        blocks.pop_front();
      }
      block();
    }
  }
  // The main thread's turn: waits up to `timeout` for a block, then runs every block queued.
  void runFor(std::chrono::milliseconds timeout) {
    std::deque<std::function<void()>> ready;
    {
      std::unique_lock lock(mutex);
      changed.wait_for(lock, timeout, [&] { return !blocks.empty(); });
      ready.swap(blocks);
    }
    for (const auto& block : ready) block();
  }
};

// Handles over these objects: the core treats them as opaque, as it does the OS's references.
template <class Object, class Real>
std::shared_ptr<Object> handleOf(const std::shared_ptr<Real>& real) {
  return std::shared_ptr<Object>(real, reinterpret_cast<Object*>(real.get()));
}
template <class Real, class Object>
Real* realOf(const std::shared_ptr<Object>& handle) {
  return reinterpret_cast<Real*>(handle.get());
}

class ThreadedEvents final : public platform::DelegatingEvents {
 public:
  using DelegatingEvents::DelegatingEvents;

  platform::RunLoop currentRunLoop() override {
    thread_local std::shared_ptr<RealLoop> own = std::make_shared<RealLoop>();
    return handleOf<platform::RunLoopObject>(own);
  }
  void addSource(const platform::RunLoop& loop, const platform::RunLoopSource& source) override {
    RealLoop* real = realOf<RealLoop>(loop);
    {
      const std::lock_guard lock(real->mutex);
      real->sources.push_back(source);
    }
    const std::lock_guard lock(mutex_);
    tapLoop_ = loop;
  }
  void removeSource(const platform::RunLoop& loop, const platform::RunLoopSource& source) override {
    RealLoop* real = realOf<RealLoop>(loop);
    const std::lock_guard lock(real->mutex);
    std::erase(real->sources, source);
  }
  void runCurrentRunLoop() override { realOf<RealLoop>(currentRunLoop())->run(); }
  void stopRunLoop(const platform::RunLoop& loop) override { realOf<RealLoop>(loop)->stop(); }
  void performBlock(const platform::RunLoop& loop, std::function<void()> block) override {
    realOf<RealLoop>(loop)->perform(std::move(block));
  }
  platform::Thread startThread(std::function<void()> body) override {
    return handleOf<platform::ThreadObject>(std::make_shared<std::thread>(std::move(body)));
  }
  void joinThread(const platform::Thread& thread) override { realOf<std::thread>(thread)->join(); }
  int setThreadQosClassSelf(platform::QosClass /*qos*/) override { return 0; }

  void fire(std::function<void()> call) {
    const std::lock_guard lock(mutex_);
    if (tapLoop_) performBlock(tapLoop_, std::move(call));
  }

 private:
  std::mutex mutex_;
  platform::RunLoop tapLoop_;
};

// A signal queues its perform on the main thread's loop, which runs it unless the source was
// invalidated meanwhile.
class ThreadedMainLoop final : public platform::DelegatingMainLoop {
 public:
  using DelegatingMainLoop::DelegatingMainLoop;
  struct Signal {
    explicit Signal(std::function<void()> p) : perform(std::move(p)) {}
    std::function<void()> perform;
    std::atomic<bool> valid{true};
  };

  platform::SignalSource addSignalSource(std::function<void()> perform) override {
    return handleOf<platform::SignalSourceObject>(std::make_shared<Signal>(std::move(perform)));
  }
  void signal(const platform::SignalSource& source) override {
    loop.perform([source] {
      if (realOf<Signal>(source)->valid) realOf<Signal>(source)->perform();
    });
  }
  void invalidateSignalSource(const platform::SignalSource& source) override {
    realOf<Signal>(source)->valid = false;
  }

  RealLoop loop;
};

}  // namespace

struct RealThreads::Impl {
  explicit Impl(World& world) : events(world.events()), mainLoop(world.mainLoop()) {}
  ThreadedEvents events;
  ThreadedMainLoop mainLoop;
};

RealThreads::RealThreads() : DelegatingPlatform(world), impl_(std::make_unique<Impl>(world)) {}
RealThreads::~RealThreads() = default;

platform::Events& RealThreads::events() {
  return impl_->events;
}

platform::MainLoop& RealThreads::mainLoop() {
  return impl_->mainLoop;
}

void RealThreads::runMainFor(std::chrono::milliseconds timeout) {
  impl_->mainLoop.loop.runFor(timeout);
}

void RealThreads::fireTap(platform::TapCallback callback, platform::EventType type,
                          platform::EventObject* event, void* userInfo) {
  impl_->events.fire([=] { callback(type, event, userInfo); });
}

}  // namespace sim
