#include "work/composite_work.h"

#include "work/work_error_data.h"
#include "work/workflow.h"

namespace zarn {

CompositeStep CompositeStep::Waiting() { return {false, WorkStatus(WorkResult::Error)}; }

CompositeStep CompositeStep::FromStatus(const WorkStatus& status) {
  const bool complete =
      status.result != WorkResult::Cancelled && status.result != WorkResult::RetryableError;
  return {complete, status};
}

void CompositeWork::Reset() {
  complete_ = false;
  status_ = WorkStatus(WorkResult::Error);
}

std::shared_ptr<const Work> CompositeWork::SharedFromThisConst() const {
  return shared_from_this();
}

std::shared_ptr<Work> CompositeWork::SharedFromThis() { return shared_from_this(); }

void CompositeWork::AttachWorkflow(const std::shared_ptr<Workflow>& workflow) {
  workflow_ = workflow;
  Work::AttachWorkflow(workflow);
}

void CompositeWork::AttachChild(const std::shared_ptr<Work>& child) {
  WorkCompleteCallback* self = this;
  if (child->hasParent_) {
    child->observers_.back() = self;
  } else {
    child->observers_.push_back(self);
  }
  child->hasParent_ = true;
  if (attached_) {
    if (std::shared_ptr<Workflow> workflow = workflow_.lock()) child->AttachWorkflow(workflow);
  }
}

void CompositeWork::Restart() {
  Reset();
  QueueAvailableWork(LockWorkflow());
}

void CompositeWork::OnWorkComplete(const std::shared_ptr<const Work>& child,
                                   const WorkStatus& status) {
  std::unique_lock<std::recursive_mutex> lock(mutex_);
  if (complete_) return;  // a late report, for instance of a cancelled sibling

  if (!IsCurrentChild(child)) {
    complete_ = true;
    status_ =
        WorkStatus(WorkResult::Error,
                   MakeWorkErrorData("Invalid child progress for CompositeWork::OnWorkComplete"));
  } else {
    switch (status.result) {
      case WorkResult::Error:
        complete_ = true;
        status_ = status;
        break;
      case WorkResult::Cancelled:
      case WorkResult::RetryableError:
        return;  // the workflow queues the leaf again or waits for Retry
      case WorkResult::Success:
      case WorkResult::Failure: {
        CompositeStep step = ProcessChildResult(child, status);
        complete_ = step.complete;
        status_ = step.status;
        break;
      }
    }
  }

  if (complete_) {
    Finish(lock);
    return;
  }
  if (status_.result == WorkResult::RetryableError) {
    status_.retry = ShouldRetry();
    if (!status_.retry) {
      const WorkStatus report = status_;
      lock.unlock();
      NotifyComplete(report);  // the workflow enters its retry-pending state
      lock.lock();
    }
    Restart();
  }
}

bool CompositeWork::IsComplete() const {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  return complete_;
}

std::shared_ptr<Workflow> CompositeWork::LockWorkflow() const {
  return std::shared_ptr<Workflow>(workflow_);
}

void CompositeWork::Finish(std::unique_lock<std::recursive_mutex>& lock) {
  if (status_.result != WorkResult::Error) status_.data.reset();
  const WorkStatus report = status_;
  lock.unlock();
  NotifyComplete(report);
}

}  // namespace zarn
