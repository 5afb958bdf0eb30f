#ifndef ZARN_WORK_LIMITED_RETRY_SIMPLE_WORK_H_
#define ZARN_WORK_LIMITED_RETRY_SIMPLE_WORK_H_

#include <cstdint>

#include "work/simple_work.h"

namespace zarn {

// A leaf allowed maxRetries immediate retries (maxRetries + 1 attempts) per queueing: the
// workflow resets it, and with it the count, every time it queues it.
class LimitedRetrySimpleWork : public SimpleWork {
 public:
  bool ShouldRetry() override;
  // Clears the cancelled flag and the count.
  void Reset() override;

  std::uint32_t GetRetryCount() const { return retryCount_; }

 protected:
  explicit LimitedRetrySimpleWork(std::uint32_t max_retries) : maxRetries_(max_retries) {}
  LimitedRetrySimpleWork(std::uint32_t max_retries, WorkCompleteCallback* observer)
      : SimpleWork(observer), maxRetries_(max_retries) {}

 private:
  std::uint32_t maxRetries_;
  std::uint32_t retryCount_ = 0;
};

}  // namespace zarn

#endif  // ZARN_WORK_LIMITED_RETRY_SIMPLE_WORK_H_
