#include "work/limited_retry_sequential_work.h"

namespace zarn {

bool LimitedRetrySequentialWork::ShouldRetry() {
  if (retry_count_ >= max_retries_) return false;
  ++retry_count_;
  return true;
}

void LimitedRetrySequentialWork::Reset() {
  retry_count_ = 0;
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
