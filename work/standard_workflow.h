#ifndef ZARN_WORK_STANDARD_WORKFLOW_H_
#define ZARN_WORK_STANDARD_WORKFLOW_H_

#include <cstdint>
#include <memory>
#include <mutex>
#include <unordered_set>
#include <vector>

#include "work/workflow.h"

namespace zarn {

class Work;
class WorkManager;

// The workflow. Pending leaves are worked as a stack: the most recently queued starts
// first. One recursive lock guards it; it is released only while the retryable-error
// observers run and while Terminate reports to the root's observers. Lock order: a
// composite's lock before the workflow's.
class StandardWorkflow : public Workflow, public std::enable_shared_from_this<StandardWorkflow> {
 public:
  StandardWorkflow(WorkManager* work_manager, std::shared_ptr<Work> root,
                   std::uint32_t max_running);
  StandardWorkflow(const StandardWorkflow&) = delete;
  StandardWorkflow& operator=(const StandardWorkflow&) = delete;
  ~StandardWorkflow() override;

  bool Start() override;
  bool Pause() override;
  bool Resume() override;
  bool Retry() override;
  WorkflowState GetState() const override;
  bool IsStarted() const override;
  bool IsPaused() const override;
  bool IsRetryPending() const override;
  bool IsFinished() const override;
  bool Terminate(const WorkStatus& status) override;
  void AddRetryableErrorCallback(WorkflowRetryableErrorCallback* observer) override;
  void QueueWork(const std::shared_ptr<SimpleWork>& work) override;
  void OnWorkFinished(const std::shared_ptr<SimpleWork>& work, const WorkStatus& status) override;

 private:
  using Lock = std::unique_lock<std::recursive_mutex>;

  void OnWorkComplete(const std::shared_ptr<const Work>& work, const WorkStatus& status) override;
  void ScheduleWork();
  void CancelRunningWorks();
  void EnterRetryPending(Lock& lock, const std::shared_ptr<const Work>& work,
                         const WorkStatus& status);
  void NotifyRetryableError(const std::shared_ptr<const Work>& work, const WorkStatus& status);
  bool IsFinishedLocked() const;

  mutable std::recursive_mutex mutex_;
  std::shared_ptr<Work> root_;
  WorkManager* workManager_;                          // not owned; outlives the workflow
  std::vector<std::shared_ptr<SimpleWork>> pending_;  // taken from the back
  std::unordered_set<std::shared_ptr<SimpleWork>> running_;
  std::uint32_t maxRunning_;
  WorkflowState state_ = WorkflowState::NotStarted;
  std::vector<WorkflowRetryableErrorCallback*> retryableErrorObservers_;
};

// Makes the workflow and attaches the whole tree of root to it.
std::shared_ptr<StandardWorkflow> MakeStandardWorkflow(WorkManager* work_manager,
                                                       const std::shared_ptr<Work>& root,
                                                       std::uint32_t max_running);

}  // namespace zarn

#endif  // ZARN_WORK_STANDARD_WORKFLOW_H_
