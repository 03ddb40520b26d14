#pragma once
// Counts every heap allocation of the process (operator new/delete are replaced in
// heap_counter.cc), so a benchmark can report allocations per operation and peak heap use.

#include <cstddef>
#include <cstdint>

namespace bench {

struct HeapCounter {
  uint64_t allocations = 0;  // operator new calls
  size_t liveBytes = 0;      // usable bytes currently allocated
  size_t peakBytes = 0;      // high-water mark of liveBytes since the last resetPeak()
};

extern HeapCounter heap;

inline void resetPeak() {
  heap.peakBytes = heap.liveBytes;
}

}  // namespace bench
