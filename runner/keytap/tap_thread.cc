#include "runner/keytap/tap_thread.h"

#include <utility>

namespace tandrel {

std::unique_ptr<TapThread> TapThread::start(platform::Events& events,
                                            platform::RunLoopSource source) {
  std::unique_ptr<TapThread> self(new TapThread(events, std::move(source)));
  TapThread* const raw = self.get();
  raw->thread_ = events.startThread([raw] {
    platform::Events& ev = raw->events_;
    // The tap's answers hold the session's input: this thread must not wait behind ordinary
    // work. Without the raise it still serves the tap, only later under load.
    (void)ev.setThreadQosClassSelf(platform::kQosClassUserInteractive);
    platform::RunLoop loop = ev.currentRunLoop();
    ev.addSource(loop, raw->source_);
    {
      const std::lock_guard lock(raw->mutex_);
      raw->loop_ = std::move(loop);
      raw->ready_ = true;
    }
    raw->readyChanged_.notify_one();
    // Nothing may follow: the loop serves the tap until stop().
    ev.runCurrentRunLoop();
  });
  if (!raw->thread_) return nullptr;
  std::unique_lock lock(raw->mutex_);
  raw->readyChanged_.wait(lock, [raw] { return raw->ready_; });
  return self;
}

void TapThread::stop() {
  if (!thread_) return;
  platform::Events& events = events_;
  // CFRunLoopStop from here could come before the loop runs and be lost; a block on the loop
  // cannot.
  events.performBlock(loop_, [ev = &events] { ev->stopRunLoop(ev->currentRunLoop()); });
  events.joinThread(thread_);
  thread_.reset();
  events.removeSource(loop_, source_);
  loop_.reset();
}

TapThread::~TapThread() {
  stop();
}

}  // namespace tandrel
