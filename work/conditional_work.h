#ifndef ZARN_WORK_CONDITIONAL_WORK_H_
#define ZARN_WORK_CONDITIONAL_WORK_H_

#include <memory>

#include "work/composite_work.h"

namespace zarn {

// Runs a condition, then the success or the failure work by the condition's result, and
// completes with the chosen branch's result. All three must be set before it is queued.
class ConditionalWork : public CompositeWork {
 public:
  ConditionalWork() = default;
  explicit ConditionalWork(WorkCompleteCallback* observer) : CompositeWork(observer) {}

  // Back to the condition; resets the children that are set.
  void Reset() override;
  void OnAttachWorkflow(const std::shared_ptr<Workflow>& workflow) override;
  // Queues the condition; std::logic_error when a child is missing.
  void QueueAvailableWork(const std::shared_ptr<Workflow>& workflow) override;
  bool IsCurrentChild(const std::shared_ptr<const Work>& child) const override;
  CompositeStep ProcessChildResult(const std::shared_ptr<const Work>& child,
                                   const WorkStatus& status) override;

  // Each setter takes effect once; later calls are ignored.
  void SetCondition(const std::shared_ptr<Work>& work);
  void SetSuccessWork(const std::shared_ptr<Work>& work);
  void SetFailureWork(const std::shared_ptr<Work>& work);

 private:
  std::shared_ptr<Work> condition_;
  std::shared_ptr<Work> successWork_;
  std::shared_ptr<Work> failureWork_;
  std::shared_ptr<Work> current_;
};

}  // namespace zarn

#endif  // ZARN_WORK_CONDITIONAL_WORK_H_
