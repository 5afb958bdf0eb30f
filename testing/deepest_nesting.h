#ifndef ZARN_TESTING_DEEPEST_NESTING_H_
#define ZARN_TESTING_DEEPEST_NESTING_H_

#include <cstddef>

#include "testing/sanitizers.h"

namespace zarn {

// The deepest nesting of XML a test may have read in this build. ThreadSanitizer keeps the
// whole stack of every allocation and stops at a stack of more than 65 536 frames, and the
// XML reader recurses a few frames a level: deeper documents are read in the other builds.
#if defined(ZARN_THREAD_SANITIZER)
constexpr std::size_t kDeepestNestingReadHere = 2000;
#else
constexpr std::size_t kDeepestNestingReadHere = static_cast<std::size_t>(-1);
#endif

}  // namespace zarn

#endif  // ZARN_TESTING_DEEPEST_NESTING_H_
