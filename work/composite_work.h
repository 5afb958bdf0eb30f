#ifndef ZARN_WORK_COMPOSITE_WORK_H_
#define ZARN_WORK_COMPOSITE_WORK_H_

#include <memory>
#include <mutex>

#include "work/work.h"
#include "work/work_complete_callback.h"
#include "work/work_status.h"

namespace zarn {

// What a composite decided about a child's Success or Failure.
struct CompositeStep {
  // Not complete: the composite goes on waiting.
  static CompositeStep Waiting();
  // Complete unless the status is Cancelled or RetryableError.
  static CompositeStep FromStatus(const WorkStatus& status);

  bool complete;
  WorkStatus status;
};

// A work made of child works. It observes each child's completion, decides what happens
// next and, once complete, reports its own status: completions travel up the tree on the
// thread of the leaf that finished. A composite with no children is refused when queued.
// The observer face is a public base so that subclasses and their users can keep naming
// WorkCompleteCallback (a private base would hide the name inside every derived class).
class CompositeWork : public Work,
                      public WorkCompleteCallback,
                      public std::enable_shared_from_this<CompositeWork> {
 public:
  // complete := false, status := Error. Subclasses also reset their children.
  void Reset() override;
  std::shared_ptr<const Work> SharedFromThisConst() const override;
  std::shared_ptr<Work> SharedFromThis() override;
  // Keeps a weak reference to the workflow, then attaches as every work does.
  void AttachWorkflow(const std::shared_ptr<Workflow>& workflow) override;

  // Becomes the child's parent (replacing an earlier one) and attaches it to the workflow
  // when this composite is attached.
  virtual void AttachChild(const std::shared_ptr<Work>& child);
  // Whether this composite is waiting for that child now.
  virtual bool IsCurrentChild(const std::shared_ptr<const Work>& child) const = 0;
  // Called, under the lock, for a current child that ended Success or Failure; may queue
  // further children.
  virtual CompositeStep ProcessChildResult(const std::shared_ptr<const Work>& child,
                                           const WorkStatus& status) = 0;
  // Reset, then queue the available work again through the kept workflow.
  virtual void Restart();

  // Handles one child's report (the observer face through which children report).
  void OnWorkComplete(const std::shared_ptr<const Work>& child, const WorkStatus& status) override;

  bool IsComplete() const;

 protected:
  CompositeWork() = default;
  explicit CompositeWork(WorkCompleteCallback* observer) : Work(observer) {}

  // The kept workflow; throws std::bad_weak_ptr when it is gone or was never attached.
  std::shared_ptr<Workflow> LockWorkflow() const;

 private:
  // Drops the payload unless Error, releases the lock and notifies the observers.
  void Finish(std::unique_lock<std::recursive_mutex>& lock);

  mutable std::recursive_mutex mutex_;
  bool complete_ = false;
  WorkStatus status_{WorkResult::Error};
  std::weak_ptr<Workflow> workflow_;
};

}  // namespace zarn

#endif  // ZARN_WORK_COMPOSITE_WORK_H_
