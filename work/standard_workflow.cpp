#include "work/standard_workflow.h"

#include <iterator>
#include <utility>

#include "work/simple_work.h"
#include "work/work.h"
#include "work/work_manager.h"
#include "work/work_status.h"
#include "work/workflow_retryable_error_callback.h"

namespace zarn {

StandardWorkflow::StandardWorkflow(WorkManager* work_manager, std::shared_ptr<Work> root,
                                   std::uint32_t max_running)
    : root_(std::move(root)), workManager_(work_manager), maxRunning_(max_running) {}

StandardWorkflow::~StandardWorkflow() = default;

bool StandardWorkflow::Start() {
  Lock lock(mutex_);
  if (state_ != WorkflowState::NotStarted) return false;
  try {
    root_->QueueAvailableWork(shared_from_this());
  } catch (...) {
    // Leaves queued before the failure would be queued again by the next Start, and one
    // leaf would then run on two threads at once.
    pending_.clear();
    throw;
  }
  state_ = WorkflowState::Running;
  ScheduleWork();
  return true;
}

bool StandardWorkflow::Pause() {
  Lock lock(mutex_);
  switch (state_) {
    case WorkflowState::Running:
      state_ = WorkflowState::Paused;
      break;
    case WorkflowState::RetryPending:
      state_ = WorkflowState::PausedRetryPending;
      break;
    default:
      return false;
  }
  CancelRunningWorks();
  return true;
}

bool StandardWorkflow::Resume() {
  Lock lock(mutex_);
  switch (state_) {
    case WorkflowState::Paused:
      state_ = WorkflowState::Running;
      break;
    case WorkflowState::PausedRetryPending:
      state_ = WorkflowState::RetryPending;
      break;
    default:
      return false;
  }
  ScheduleWork();
  return true;
}

bool StandardWorkflow::Retry() {
  Lock lock(mutex_);
  switch (state_) {
    case WorkflowState::RetryPending:
      state_ = WorkflowState::Running;
      break;
    case WorkflowState::PausedRetryPending:
      state_ = WorkflowState::Paused;
      break;
    default:
      return false;
  }
  ScheduleWork();
  return true;
}

WorkflowState StandardWorkflow::GetState() const {
  Lock lock(mutex_);
  return state_;
}

bool StandardWorkflow::IsStarted() const { return GetState() != WorkflowState::NotStarted; }

bool StandardWorkflow::IsPaused() const {
  const WorkflowState state = GetState();
  return state == WorkflowState::Paused || state == WorkflowState::PausedRetryPending;
}

bool StandardWorkflow::IsRetryPending() const {
  const WorkflowState state = GetState();
  return state == WorkflowState::RetryPending || state == WorkflowState::PausedRetryPending;
}

bool StandardWorkflow::IsFinished() const {
  Lock lock(mutex_);
  return IsFinishedLocked();
}

bool StandardWorkflow::IsFinishedLocked() const {
  return state_ == WorkflowState::Complete || state_ == WorkflowState::Terminated;
}

bool StandardWorkflow::Terminate(const WorkStatus& status) {
  Lock lock(mutex_);
  if (state_ == WorkflowState::Terminated) return false;
  Pause();
  state_ = WorkflowState::Terminated;
  std::shared_ptr<Work> root = root_;
  lock.unlock();
  root->NotifyComplete(status);
  return true;
}

void StandardWorkflow::AddRetryableErrorCallback(WorkflowRetryableErrorCallback* observer) {
  retryableErrorObservers_.push_back(observer);
}

void StandardWorkflow::QueueWork(const std::shared_ptr<SimpleWork>& work) {
  Lock lock(mutex_);
  if (IsFinishedLocked()) return;
  work->Reset();
  pending_.push_back(work);
}

void StandardWorkflow::OnWorkComplete(const std::shared_ptr<const Work>& work,
                                      const WorkStatus& status) {
  Lock lock(mutex_);
  if (state_ == WorkflowState::NotStarted || IsFinishedLocked()) return;
  switch (status.result) {
    case WorkResult::Error:
      CancelRunningWorks();
      state_ = WorkflowState::Complete;
      break;
    case WorkResult::Success:
    case WorkResult::Failure:
      if (work.get() == root_.get()) {
        CancelRunningWorks();
        state_ = WorkflowState::Complete;
      }
      break;
    case WorkResult::Cancelled:
      break;
    case WorkResult::RetryableError:
      if (!status.retry && state_ != WorkflowState::RetryPending &&
          state_ != WorkflowState::PausedRetryPending) {
        EnterRetryPending(lock, work, status);
      }
      break;
  }
}

void StandardWorkflow::OnWorkFinished(const std::shared_ptr<SimpleWork>& work,
                                      const WorkStatus& status) {
  Lock lock(mutex_);
  running_.erase(work);
  if (!IsFinishedLocked() &&
      (status.result == WorkResult::Cancelled || status.result == WorkResult::RetryableError)) {
    QueueWork(work);
  }
  ScheduleWork();
}

void StandardWorkflow::ScheduleWork() {
  while (state_ == WorkflowState::Running && running_.size() < maxRunning_) {
    // The newest pending leaf whose previous run has come back. A leaf queued again while
    // its previous run is still reporting waits for that run's OnWorkFinished: posted
    // earlier, it would run on two threads and drop out of the running set when the old
    // run finished, escaping both cancellation and the running limit.
    auto it = pending_.rbegin();
    while (it != pending_.rend() && running_.count(*it) != 0) ++it;
    if (it == pending_.rend()) return;
    std::shared_ptr<SimpleWork> work = std::move(*it);
    pending_.erase(std::next(it).base());
    running_.insert(work);
    workManager_->PostWorkflowWork({shared_from_this(), std::move(work)});
  }
}

void StandardWorkflow::CancelRunningWorks() {
  for (const auto& work : running_) {
    work->SetCancelled();
    work->OnCancel();
  }
}

void StandardWorkflow::EnterRetryPending(Lock& lock, const std::shared_ptr<const Work>& work,
                                         const WorkStatus& status) {
  CancelRunningWorks();
  state_ = state_ == WorkflowState::Running ? WorkflowState::RetryPending
                                            : WorkflowState::PausedRetryPending;
  lock.unlock();
  NotifyRetryableError(work, status);
}

void StandardWorkflow::NotifyRetryableError(const std::shared_ptr<const Work>& work,
                                            const WorkStatus& status) {
  const std::shared_ptr<Workflow> self = shared_from_this();
  for (std::size_t i = 0; i < retryableErrorObservers_.size(); ++i) {
    retryableErrorObservers_[i]->OnWorkflowRetryableError(self, work, status);
  }
}

std::shared_ptr<StandardWorkflow> MakeStandardWorkflow(WorkManager* work_manager,
                                                       const std::shared_ptr<Work>& root,
                                                       std::uint32_t max_running) {
  auto workflow = std::make_shared<StandardWorkflow>(work_manager, root, max_running);
  root->AttachWorkflow(workflow);
  return workflow;
}

}  // namespace zarn
