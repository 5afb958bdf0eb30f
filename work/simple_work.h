#ifndef ZARN_WORK_SIMPLE_WORK_H_
#define ZARN_WORK_SIMPLE_WORK_H_

#include <atomic>
#include <memory>
#include <vector>

#include "work/work.h"
#include "work/work_status.h"

namespace zarn {

class SimpleWorkRetryCallback;

// A leaf: the work that actually does something, once per attempt, in ExecuteTask.
// Must be owned by a shared pointer.
class SimpleWork : public Work, public std::enable_shared_from_this<SimpleWork> {
 public:
  // Clears the cancelled flag. A replacement must call this one.
  void Reset() override;
  std::shared_ptr<const Work> SharedFromThisConst() const override;
  std::shared_ptr<Work> SharedFromThis() override;
  void OnAttachWorkflow(const std::shared_ptr<Workflow>& workflow) override;
  // Workflow::QueueWork(this work).
  void QueueAvailableWork(const std::shared_ptr<Workflow>& workflow) override;

  // One attempt. May throw: the run loop turns that into an Error status.
  virtual WorkStatus ExecuteTask() = 0;
  // Called right after the cancelled flag was set, under the workflow's lock: abort whatever
  // the attempt waits on, never wait for the workflow.
  virtual void OnCancel() = 0;

  // The run loop: attempts while RetryableError and ShouldRetry allow it, telling the retry
  // observers before each retry; Cancelled when the flag is set before an attempt; every
  // exception becomes Error with a WorkExceptionData payload. Never throws, never returns
  // retry = true.
  WorkStatus Run();
  void NotifyRetry(const WorkStatus& status);
  void AddRetryCallback(SimpleWorkRetryCallback* observer);

  // The cancelled flag: set by the workflow from any thread, read by the running work.
  void SetCancelled() { cancelled_.store(true); }
  bool IsCancelled() const { return cancelled_.load(); }

 protected:
  SimpleWork() = default;
  explicit SimpleWork(WorkCompleteCallback* observer) : Work(observer) {}

 private:
  std::atomic<bool> cancelled_{false};
  std::vector<SimpleWorkRetryCallback*> retryObservers_;
};

}  // namespace zarn

#endif  // ZARN_WORK_SIMPLE_WORK_H_
