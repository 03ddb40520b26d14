#pragma once
// How the tap's thread hands each event to the main thread: the fields the stream reports, copied
// into a fixed record, through a bounded single-producer single-consumer queue, and a wake-up of
// the main loop when it has not been woken yet. The tap's side takes no lock and allocates
// nothing, so the system never waits on the main thread for an answer.

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/events.h"

namespace tandrel {

// One tap event as the main thread needs it.
struct TapRecord {
  static constexpr size_t kMaxChars = 8;  // UTF-16 units of a key press's characters

  platform::EventType type = 0;
  platform::EventFlags flags = 0;
  int64_t keycode = 0;
  bool repeat = false;
  // A tap-disabled notice after KeyEventTapHandler::kMaxRearms re-arms in a row: the tap is not
  // to be switched on again.
  bool rearmsSpent = false;
  uint8_t length = 0;  // of `chars`
  std::array<char16_t, kMaxChars> chars{};
};

// A ring of N slots (a power of two): one thread pushes, one other thread pops.
template <class T, size_t N>
class SpscRing {
  static_assert(N > 0 && (N & (N - 1)) == 0, "N must be a power of two");

 public:
  // Producer: false when the ring is full.
  bool push(const T& value) {
    const size_t tail = tail_.load(std::memory_order_relaxed);
    if (tail - head_.load(std::memory_order_acquire) == N) return false;
    slots_[tail & (N - 1)] = value;
    tail_.store(tail + 1, std::memory_order_release);
    return true;
  }
  // Consumer: false when the ring is empty.
  bool pop(T& value) {
    const size_t head = head_.load(std::memory_order_relaxed);
    if (head == tail_.load(std::memory_order_acquire)) return false;
    value = slots_[head & (N - 1)];
    head_.store(head + 1, std::memory_order_release);
    return true;
  }

 private:
  alignas(64) std::atomic<size_t> head_{0};
  alignas(64) std::atomic<size_t> tail_{0};
  alignas(64) std::array<T, N> slots_{};
};

class TapHandoff {
 public:
  // Several seconds of the fastest typing; the main thread is never blocked longer than a
  // channel call allows.
  static constexpr size_t kCapacity = 4096;
  using Wake = void (*)(void* context);

  // `wake` is called on the tap's thread when the main thread should drain; it must be safe to
  // call from there.
  TapHandoff(Wake wake, void* context) : wake_(wake), context_(context) {}
  TapHandoff(const TapHandoff&) = delete;
  TapHandoff& operator=(const TapHandoff&) = delete;

  // The tap's thread. A record that finds the queue full is dropped and counted.
  void push(const TapRecord& record) {
    if (!ring_.push(record)) dropped_.fetch_add(1, std::memory_order_relaxed);
    if (!wakePending_.exchange(true, std::memory_order_acq_rel)) wake_(context_);
  }

  // The main thread: call startDrain once woken, then pop until empty. A record pushed after
  // startDrain is either popped now or wakes the main thread again.
  void startDrain() { wakePending_.exchange(false, std::memory_order_acq_rel); }
  bool pop(TapRecord& record) { return ring_.pop(record); }
  uint64_t dropped() const { return dropped_.load(std::memory_order_relaxed); }

 private:
  const Wake wake_;
  void* const context_;
  std::atomic<bool> wakePending_{false};
  std::atomic<uint64_t> dropped_{0};
  SpscRing<TapRecord, kCapacity> ring_;
};

}  // namespace tandrel
