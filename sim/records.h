#pragma once
// A record the simulated world keeps of what happened (pauses, log lines, the trace...): a total
// over the world's life, and a window of the most recent entries. A long scenario then costs the
// window, not the number of things that happened in it.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

namespace sim {

// How many of the most recent entries each record keeps, unless the world is told otherwise.
inline constexpr size_t kDefaultRecordWindow = 10000;

template <typename T>
class RecentRecords {
 public:
  explicit RecentRecords(size_t window = kDefaultRecordWindow) : window_(window) {}

  void push(T entry) {
    ++total_;
    ++sinceTake_;
    if (window_ == 0) return;
    if (kept_.size() == window_) kept_.pop_front();
    kept_.push_back(std::move(entry));
  }

  // The entries recorded since the last take that are still kept, oldest first; forgets them.
  std::vector<T> take() {
    std::vector<T> out(std::make_move_iterator(kept_.begin()),
                       std::make_move_iterator(kept_.end()));
    kept_.clear();
    sinceTake_ = 0;
    return out;
  }

  // Forgets the entries recorded after the total was `total` (none may have been taken since).
  void forgetSince(uint64_t total) {
    for (; total_ > total && sinceTake_ > 0; --total_, --sinceTake_) {
      if (!kept_.empty()) kept_.pop_back();  // the newest entry is kept unless the window is 0
    }
  }

  // Entries ever recorded.
  uint64_t total() const { return total_; }
  // Entries recorded since the last take that fell out of the window: the next take lacks them.
  uint64_t dropped() const { return sinceTake_ - kept_.size(); }

  size_t window() const { return window_; }
  // A smaller window forgets the oldest entries at once.
  void setWindow(size_t window) {
    window_ = window;
    while (kept_.size() > window_) kept_.pop_front();
  }

 private:
  std::deque<T> kept_;
  size_t window_;
  uint64_t total_ = 0;
  uint64_t sinceTake_ = 0;
};

}  // namespace sim
