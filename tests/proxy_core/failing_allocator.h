// Replaces the global operator new of the test executable that links failing_allocator.cpp,
// so a test can make large allocations fail as they would on a machine out of memory.
#ifndef ORVANTA_TESTS_PROXY_CORE_FAILING_ALLOCATOR_H_
#define ORVANTA_TESTS_PROXY_CORE_FAILING_ALLOCATOR_H_

#include <cstddef>

namespace proxytest {

// While it lives, every allocation of at least `bytes` throws std::bad_alloc.
class ScopedAllocationLimit {
 public:
  explicit ScopedAllocationLimit(size_t bytes);
  ~ScopedAllocationLimit();
  ScopedAllocationLimit(const ScopedAllocationLimit&) = delete;
  ScopedAllocationLimit& operator=(const ScopedAllocationLimit&) = delete;
};

}  // namespace proxytest

#endif  // ORVANTA_TESTS_PROXY_CORE_FAILING_ALLOCATOR_H_
