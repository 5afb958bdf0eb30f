#ifndef ZARN_WORK_SIMPLE_WORK_RETRY_CALLBACK_H_
#define ZARN_WORK_SIMPLE_WORK_RETRY_CALLBACK_H_

#include <memory>

namespace zarn {

class SimpleWork;
struct WorkStatus;

// Told when a simple work is about to run again at once after a RetryableError; the status
// is the one that caused the retry (retry = true). Held as a plain pointer.
class SimpleWorkRetryCallback {
 public:
  virtual ~SimpleWorkRetryCallback() = default;
  virtual void OnSimpleWorkRetry(const std::shared_ptr<const SimpleWork>& work,
                                 const WorkStatus& status) = 0;
};

}  // namespace zarn

#endif  // ZARN_WORK_SIMPLE_WORK_RETRY_CALLBACK_H_
