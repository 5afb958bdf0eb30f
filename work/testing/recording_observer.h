#ifndef ZARN_WORK_TESTING_RECORDING_OBSERVER_H_
#define ZARN_WORK_TESTING_RECORDING_OBSERVER_H_

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "work/simple_work.h"
#include "work/simple_work_retry_callback.h"
#include "work/work.h"
#include "work/work_complete_callback.h"
#include "work/work_status.h"
#include "work/workflow_retryable_error_callback.h"

namespace zarn {

// One notification as an observer saw it.
struct Notification {
  std::string observer;
  const Work* work;
  WorkStatus status;
};

// A thread-safe log shared by several observers, so that a test can check their order.
class NotificationLog {
 public:
  void Add(Notification n) {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.push_back(std::move(n));
  }
  std::vector<Notification> entries() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_;
  }
  std::vector<std::string> observers() const {
    std::vector<std::string> names;
    for (const auto& e : entries()) names.push_back(e.observer);
    return names;
  }
  std::size_t size() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return entries_.size();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Notification> entries_;
};

// Records completions, retries and workflow retryable errors into a log; an optional
// action runs after each record (to throw, or to call back into a workflow).
class RecordingObserver : public WorkCompleteCallback,
                          public SimpleWorkRetryCallback,
                          public WorkflowRetryableErrorCallback {
 public:
  RecordingObserver(std::string name, NotificationLog* log) : name_(std::move(name)), log_(log) {}

  std::function<void()> on_complete;
  std::function<void(const std::shared_ptr<Workflow>&)> on_retryable_error;

  void OnWorkComplete(const std::shared_ptr<const Work>& work, const WorkStatus& status) override {
    log_->Add({name_, work.get(), status});
    if (on_complete) on_complete();
  }
  void OnSimpleWorkRetry(const std::shared_ptr<const SimpleWork>& work,
                         const WorkStatus& status) override {
    log_->Add({name_ + ".retry", work.get(), status});
  }
  void OnWorkflowRetryableError(const std::shared_ptr<Workflow>& workflow,
                                const std::shared_ptr<const Work>& work,
                                const WorkStatus& status) override {
    log_->Add({name_ + ".retryable", work.get(), status});
    if (on_retryable_error) on_retryable_error(workflow);
  }

 private:
  std::string name_;
  NotificationLog* log_;
};

}  // namespace zarn

#endif  // ZARN_WORK_TESTING_RECORDING_OBSERVER_H_
