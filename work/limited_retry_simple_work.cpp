#include "work/limited_retry_simple_work.h"

namespace zarn {

bool LimitedRetrySimpleWork::ShouldRetry() {
  if (retry_count_ >= max_retries_) return false;
  ++retry_count_;
  return true;
}

void LimitedRetrySimpleWork::Reset() {
  SimpleWork::Reset();
  retry_count_ = 0;
}

}  // namespace zarn
