#ifndef ZARN_WORK_LIMITED_RETRY_SEQUENTIAL_WORK_H_
#define ZARN_WORK_LIMITED_RETRY_SEQUENTIAL_WORK_H_

#include <cstdint>
#include <memory>

#include "work/sequential_work.h"

namespace zarn {

// A sequence that restarts from its first child when a child ends with Failure, at once
// while restarts are left; once they are spent, every Failure reports RetryableError
// (retry = false, the child's payload) and the restarted sequence waits for Workflow::Retry.
// Only a reset from outside restores the budget.
class LimitedRetrySequentialWork : public SequentialWork {
 public:
  explicit LimitedRetrySequentialWork(std::uint32_t max_retries) : maxRetries_(max_retries) {}
  LimitedRetrySequentialWork(std::uint32_t max_retries, WorkCompleteCallback* observer)
      : SequentialWork(observer), maxRetries_(max_retries) {}

  bool ShouldRetry() override;
  // The count back to 0, then the sequence's reset.
  void Reset() override;
  CompositeStep ProcessChildResult(const std::shared_ptr<const Work>& child,
                                   const WorkStatus& status) override;
  // The sequence's reset without touching the count, then queue the first child again.
  void Restart() override;

  std::uint32_t GetRetryCount() const { return retryCount_; }

 private:
  std::uint32_t maxRetries_;
  std::uint32_t retryCount_ = 0;
};

}  // namespace zarn

#endif  // ZARN_WORK_LIMITED_RETRY_SEQUENTIAL_WORK_H_
