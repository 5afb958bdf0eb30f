#ifndef ZARN_WORK_DEFERRED_WORK_H_
#define ZARN_WORK_DEFERRED_WORK_H_

#include <memory>
#include <mutex>

#include "work/composite_work.h"

namespace zarn {

// A placeholder whose single child is supplied while the tree already runs. When it is
// queued or reset before a child was assigned, it takes a NoOpWork and simply succeeds.
class DeferredWork : public CompositeWork {
  // The passkey: the constructor is public for std::make_shared, yet only Create can call it.
  struct Token {};

 public:
  // observer may be null.
  static std::shared_ptr<DeferredWork> Create(WorkCompleteCallback* observer = nullptr);
  DeferredWork(Token, WorkCompleteCallback* observer);

  // "name" := "DeferredWork".
  void Describe(boost::property_tree::ptree& tree) const override;
  void Reset() override;
  void OnAttachWorkflow(const std::shared_ptr<Workflow>& workflow) override;
  void QueueAvailableWork(const std::shared_ptr<Workflow>& workflow) override;
  bool IsCurrentChild(const std::shared_ptr<const Work>& child) const override;
  CompositeStep ProcessChildResult(const std::shared_ptr<const Work>& child,
                                   const WorkStatus& status) override;

  // Sets and adopts the child (a NoOpWork when work is empty) in one step under the lock
  // that queueing, resetting and IsCurrentChild take, so no other thread sees a child that
  // is not yet attached. Does not queue it. False, changing nothing, when a child is set.
  bool Assign(const std::shared_ptr<Work>& work);

 private:
  // With the lock held: sets and adopts the child (a NoOpWork when work is empty) unless
  // one is set; false when one was.
  bool SetChildLocked(const std::shared_ptr<Work>& work);
  // The child, a NoOpWork placeholder when none was assigned yet.
  std::shared_ptr<Work> ChildOrPlaceholder();

  mutable std::mutex childMutex_;
  std::shared_ptr<Work> child_;

  // Lets tests see whether the child lock is held while a child is being adopted.
  friend class DeferredWorkPeer;
};

}  // namespace zarn

#endif  // ZARN_WORK_DEFERRED_WORK_H_
