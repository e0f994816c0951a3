#include "tests/proxy_core/failing_allocator.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace {
std::atomic<size_t> gFailFrom{SIZE_MAX};
}  // namespace

namespace proxytest {
ScopedAllocationLimit::ScopedAllocationLimit(size_t bytes) { gFailFrom = bytes; }
ScopedAllocationLimit::~ScopedAllocationLimit() { gFailFrom = SIZE_MAX; }
}  // namespace proxytest

void* operator new(size_t size) {
  if (size >= gFailFrom) throw std::bad_alloc();
  if (void* block = std::malloc(size == 0 ? 1 : size)) return block;
  throw std::bad_alloc();
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, size_t) noexcept { std::free(block); }
