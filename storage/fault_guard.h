#ifndef ZARN_STORAGE_FAULT_GUARD_H_
#define ZARN_STORAGE_FAULT_GUARD_H_

#include <cstddef>

namespace zarn {

// Runs body(context) so that a SIGBUS or SIGSEGV at an address inside
// [begin, begin + length) ends the body and makes this return false; true when the body
// ran to its end. A fault anywhere else goes to the handler that was installed before,
// so genuine bugs still crash. Guards nest, per thread.
//
// The body is left by siglongjmp: it must not create objects with destructors, nor hold a
// lock, while it may fault. An exception thrown by the body passes through, and the guard
// is gone when it arrives.
bool RunWithFaultGuard(const void* begin, std::size_t length, void (*body)(void* context),
                       void* context);

// Whether the calling thread is inside a guarded stretch.
bool InsideFaultGuard();

}  // namespace zarn

#endif  // ZARN_STORAGE_FAULT_GUARD_H_
