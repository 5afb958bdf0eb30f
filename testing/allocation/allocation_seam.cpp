#include "testing/allocation/allocation_seam.h"

#include <malloc.h>

#include <cstddef>
#include <cstdlib>
#include <new>

namespace zarn {
namespace {

// Constant-initialised, so that reading them needs no allocation, even on a thread that
// is just starting.
thread_local bool failing = false;
thread_local bool failingOnce = false;
thread_local std::size_t successesLeft = 0;
thread_local std::size_t failures = 0;
thread_local bool counting = false;
thread_local std::size_t countFrom = 0;
thread_local std::size_t counted = 0;
thread_local bool following = false;
thread_local std::ptrdiff_t held = 0;
thread_local std::ptrdiff_t heldAtMost = 0;

void Follow(void* memory, bool allocated) {
  if (!following || memory == nullptr) return;
  const auto bytes = static_cast<std::ptrdiff_t>(malloc_usable_size(memory));
  held += allocated ? bytes : -bytes;
  if (held > heldAtMost) heldAtMost = held;
}

void Free(void* memory) {
  Follow(memory, false);
  std::free(memory);
}

// Null when the seam refuses or malloc finds no memory.
void* Allocate(std::size_t size, std::size_t alignment) {
  if (counting && size >= countFrom) ++counted;
  if (failing) {
    if (successesLeft == 0) {
      ++failures;
      if (failingOnce) failing = false;
      return nullptr;
    }
    --successesLeft;
  }
  if (size == 0) size = 1;
  void* memory = nullptr;
  if (alignment <= alignof(std::max_align_t)) {
    memory = std::malloc(size);
  } else if (posix_memalign(&memory, alignment, size) != 0) {
    memory = nullptr;
  }
  Follow(memory, true);
  return memory;
}

void* AllocateOrThrow(std::size_t size, std::size_t alignment) {
  void* memory = Allocate(size, alignment);
  if (memory == nullptr) throw std::bad_alloc();
  return memory;
}

}  // namespace

ScopedFailingAllocation::ScopedFailingAllocation(std::size_t successes, Refusal refusal) {
  successesLeft = successes;
  failures = 0;
  failingOnce = refusal == kOnce;
  failing = true;
}

ScopedFailingAllocation::~ScopedFailingAllocation() { failing = false; }

std::size_t ScopedFailingAllocation::Failures() const { return failures; }

ScopedAllocationCount::ScopedAllocationCount(std::size_t minimumBytes) {
  countFrom = minimumBytes;
  counted = 0;
  counting = true;
}

ScopedAllocationCount::~ScopedAllocationCount() { counting = false; }

std::size_t ScopedAllocationCount::Count() const { return counted; }

ScopedAllocationPeak::ScopedAllocationPeak() {
  held = 0;
  heldAtMost = 0;
  following = true;
}

ScopedAllocationPeak::~ScopedAllocationPeak() { following = false; }

std::size_t ScopedAllocationPeak::Bytes() const { return static_cast<std::size_t>(heldAtMost); }

}  // namespace zarn

namespace {
constexpr std::size_t kDefault = alignof(std::max_align_t);
}  // namespace

void* operator new(std::size_t size) { return zarn::AllocateOrThrow(size, kDefault); }
void* operator new[](std::size_t size) { return zarn::AllocateOrThrow(size, kDefault); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return zarn::Allocate(size, kDefault);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return zarn::Allocate(size, kDefault);
}
void* operator new(std::size_t size, std::align_val_t alignment) {
  return zarn::AllocateOrThrow(size, static_cast<std::size_t>(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
  return zarn::AllocateOrThrow(size, static_cast<std::size_t>(alignment));
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return zarn::Allocate(size, static_cast<std::size_t>(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return zarn::Allocate(size, static_cast<std::size_t>(alignment));
}

void operator delete(void* memory) noexcept { zarn::Free(memory); }
void operator delete[](void* memory) noexcept { zarn::Free(memory); }
void operator delete(void* memory, std::size_t) noexcept { zarn::Free(memory); }
void operator delete[](void* memory, std::size_t) noexcept { zarn::Free(memory); }
void operator delete(void* memory, const std::nothrow_t&) noexcept { zarn::Free(memory); }
void operator delete[](void* memory, const std::nothrow_t&) noexcept { zarn::Free(memory); }
void operator delete(void* memory, std::align_val_t) noexcept { zarn::Free(memory); }
void operator delete[](void* memory, std::align_val_t) noexcept { zarn::Free(memory); }
void operator delete(void* memory, std::size_t, std::align_val_t) noexcept { zarn::Free(memory); }
void operator delete[](void* memory, std::size_t, std::align_val_t) noexcept { zarn::Free(memory); }
void operator delete(void* memory, std::align_val_t, const std::nothrow_t&) noexcept {
  zarn::Free(memory);
}
void operator delete[](void* memory, std::align_val_t, const std::nothrow_t&) noexcept {
  zarn::Free(memory);
}
