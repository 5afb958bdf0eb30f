#include "work/limited_retry_simple_work.h"

namespace zarn {

bool LimitedRetrySimpleWork::ShouldRetry() {
  if (retryCount_ >= maxRetries_) return false;
  ++retryCount_;
  return true;
}

void LimitedRetrySimpleWork::Reset() {
  SimpleWork::Reset();
  retryCount_ = 0;
}

}  // namespace zarn
