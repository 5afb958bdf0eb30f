#ifndef ZARN_WORK_WORK_H_
#define ZARN_WORK_WORK_H_

#include <memory>
#include <vector>

#include "work/work_descriptor.h"

namespace zarn {

class WorkCompleteCallback;
class Workflow;
struct WorkStatus;

// The base of every unit of work. A work reports each finished run to its completion
// observers, always in this order: the workflow it is attached to, then the observers given
// at construction or added later (in the order added), then its parent composite.
// Observer lists are filled while the tree is built and attached, never while it runs.
class Work : public WorkDescriptor {
 public:
  Work(const Work&) = delete;
  Work& operator=(const Work&) = delete;
  ~Work() override;

  // Writes nothing; concrete works add their own fields.
  void Describe(boost::property_tree::ptree& tree) const override;
  // Asked only after a RetryableError; may count attempts. False by default.
  virtual bool ShouldRetry();
  // Makes the work runnable again.
  virtual void Reset() = 0;
  // Describe, then the status as the child "workStatus".
  virtual void DescribeWithStatus(const WorkStatus& status,
                                  boost::property_tree::ptree& tree) const;
  virtual std::shared_ptr<const Work> SharedFromThisConst() const = 0;
  virtual std::shared_ptr<Work> SharedFromThis() = 0;
  // Puts the workflow at the front of the observers (replacing an earlier one) and attaches
  // the subtree through OnAttachWorkflow.
  virtual void AttachWorkflow(const std::shared_ptr<Workflow>& workflow);
  virtual void OnAttachWorkflow(const std::shared_ptr<Workflow>& workflow) = 0;
  // Hands every leaf that can run now to the workflow.
  virtual void QueueAvailableWork(const std::shared_ptr<Workflow>& workflow) = 0;

  // Calls every completion observer, front to back; an observer that throws stops the walk.
  void NotifyComplete(const WorkStatus& status) const;
  // Adds an observer (not null) behind the others but in front of the parent.
  void AddCompleteCallback(WorkCompleteCallback* observer);

 protected:
  Work();
  explicit Work(WorkCompleteCallback* observer);

 private:
  friend class CompositeWork;  // adopts children: sets and replaces the parent entry

  std::vector<WorkCompleteCallback*> observers_;
  bool attached_ = false;
  bool hasParent_ = false;
};

}  // namespace zarn

#endif  // ZARN_WORK_WORK_H_
