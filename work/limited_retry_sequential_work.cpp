#include "work/limited_retry_sequential_work.h"

namespace zarn {

bool LimitedRetrySequentialWork::ShouldRetry() {
  if (retryCount_ >= maxRetries_) return false;
  ++retryCount_;
  return true;
}

void LimitedRetrySequentialWork::Reset() {
  retryCount_ = 0;
  SequentialWork::Reset();
}

CompositeStep LimitedRetrySequentialWork::ProcessChildResult(
    const std::shared_ptr<const Work>& child, const WorkStatus& status) {
  if (status.result == WorkResult::Failure) {
    return CompositeStep::FromStatus(WorkStatus(WorkResult::RetryableError, status.data));
  }
  return SequentialWork::ProcessChildResult(child, status);
}

void LimitedRetrySequentialWork::Restart() {
  SequentialWork::Reset();
  QueueAvailableWork(LockWorkflow());
}

}  // namespace zarn
