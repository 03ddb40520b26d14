#include "bench/heap_counter.h"

#include <malloc.h>

#include <algorithm>
#include <cstdlib>
#include <new>

namespace bench {
HeapCounter heap;
}

namespace {

// Out of line, so the compiler cannot pair an inlined malloc with a free it did not expect.
[[gnu::noinline]] void* allocate(std::size_t size) noexcept {
  void* p = std::malloc(size == 0 ? 1 : size);
  if (p) {
    ++bench::heap.allocations;
    bench::heap.liveBytes += malloc_usable_size(p);
    bench::heap.peakBytes = std::max(bench::heap.peakBytes, bench::heap.liveBytes);
  }
  return p;
}

[[gnu::noinline]] void release(void* p) noexcept {
  if (p) bench::heap.liveBytes -= malloc_usable_size(p);
  std::free(p);
}

}  // namespace

void* operator new(std::size_t size) {
  if (void* p = allocate(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  return operator new(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return allocate(size);
}
void operator delete(void* p) noexcept {
  release(p);
}
void operator delete[](void* p) noexcept {
  release(p);
}
void operator delete(void* p, std::size_t) noexcept {
  release(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  release(p);
}
