#ifndef ZARN_TESTING_ALLOCATION_ALLOCATION_SEAM_H_
#define ZARN_TESTING_ALLOCATION_ALLOCATION_SEAM_H_

// Replaces the global operator new and delete of every test binary that links it (all
// forms; they allocate with malloc and free). Only the thread that arms a scope is
// affected, so servers and pools running beside the test allocate as usual.
//
//   {
//     ScopedFailingAllocation failing;   // every operator new of this thread now fails
//     pool->Release(request);            // must not throw
//   }
//   ScopedFailingAllocation once(k, ScopedFailingAllocation::kOnce);  // only the k+1-th fails
//   ScopedAllocationCount big(1 << 20);  // counts this thread's allocations of >= 1 MiB
//   ScopedAllocationPeak peak;           // the most this thread held at once, from now

#include <cstddef>

namespace zarn {

// While it lives, operator new on this thread fails (std::bad_alloc, or null for the
// nothrow forms) once `successes` allocations have succeeded: every later allocation, or
// with kOnce only the next one. Scopes do not nest.
class ScopedFailingAllocation {
 public:
  enum Refusal { kEveryLater, kOnce };

  explicit ScopedFailingAllocation(std::size_t successes = 0, Refusal refusal = kEveryLater);
  ~ScopedFailingAllocation();
  ScopedFailingAllocation(const ScopedFailingAllocation&) = delete;
  ScopedFailingAllocation& operator=(const ScopedFailingAllocation&) = delete;

  // How many allocations were refused so far.
  std::size_t Failures() const;
};

// While it lives, counts the allocations of at least minimumBytes made by operator new on
// this thread. Scopes do not nest.
class ScopedAllocationCount {
 public:
  explicit ScopedAllocationCount(std::size_t minimumBytes = 0);
  ~ScopedAllocationCount();
  ScopedAllocationCount(const ScopedAllocationCount&) = delete;
  ScopedAllocationCount& operator=(const ScopedAllocationCount&) = delete;

  std::size_t Count() const;
};

// While it lives, follows the bytes this thread holds through operator new: those it
// allocates, less those it frees (whenever they were allocated), from zero when it
// begins. Scopes do not nest.
class ScopedAllocationPeak {
 public:
  ScopedAllocationPeak();
  ~ScopedAllocationPeak();
  ScopedAllocationPeak(const ScopedAllocationPeak&) = delete;
  ScopedAllocationPeak& operator=(const ScopedAllocationPeak&) = delete;

  // The most those bytes reached so far.
  std::size_t Bytes() const;
};

}  // namespace zarn

#endif  // ZARN_TESTING_ALLOCATION_ALLOCATION_SEAM_H_
