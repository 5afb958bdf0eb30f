#ifndef ZARN_WORK_WORKFLOW_H_
#define ZARN_WORK_WORKFLOW_H_

#include <cstdint>
#include <memory>

#include "work/work_complete_callback.h"

namespace zarn {

class SimpleWork;
class WorkflowRetryableErrorCallback;
struct WorkStatus;

enum class WorkflowState : std::uint8_t {
  NotStarted = 0,          // built, not yet started
  Running = 1,             // leaves are scheduled
  Paused = 2,              // no scheduling; running leaves were cancelled
  RetryPending = 3,        // a retryable error waits for Retry; no scheduling
  PausedRetryPending = 4,  // both
  Complete = 5,            // the root has finished, or some work ended with Error
  Terminated = 6,          // ended by Terminate
};

// Runs one tree of works: collects the leaves that are ready, posts them to a work manager
// while fewer than a limit run, observes every completion of the tree (as the first
// observer of each work) and keeps the state machine its owner drives.
class Workflow : private WorkCompleteCallback {
 public:
  ~Workflow() override = default;

  // Queues the root's first leaves and starts scheduling; false unless NotStarted. When
  // queueing throws, the exception leaves with the state still NotStarted and nothing queued.
  virtual bool Start() = 0;
  virtual bool Pause() = 0;
  virtual bool Resume() = 0;
  virtual bool Retry() = 0;
  virtual WorkflowState GetState() const = 0;
  virtual bool IsStarted() const = 0;       // any state but NotStarted
  virtual bool IsPaused() const = 0;        // Paused or PausedRetryPending
  virtual bool IsRetryPending() const = 0;  // RetryPending or PausedRetryPending
  virtual bool IsFinished() const = 0;      // Complete or Terminated
  // Pauses, becomes Terminated and reports the status as the root's completion to the
  // root's observers (lock released); false only when already Terminated.
  virtual bool Terminate(const WorkStatus& status) = 0;
  // Not locked: add observers while the owner is built, before Start.
  virtual void AddRetryableErrorCallback(WorkflowRetryableErrorCallback* observer) = 0;
  // Called by leaves from Work::QueueAvailableWork: reset and keep the leaf pending.
  virtual void QueueWork(const std::shared_ptr<SimpleWork>& work) = 0;
  // Called by the work manager's handler after a leaf has run and notified.
  virtual void OnWorkFinished(const std::shared_ptr<SimpleWork>& work,
                              const WorkStatus& status) = 0;

 protected:
  Workflow() = default;

 private:
  friend class Work;  // puts the workflow at the front of each work's observers
};

}  // namespace zarn

#endif  // ZARN_WORK_WORKFLOW_H_
