#include "work/conditional_work.h"

#include <stdexcept>

namespace zarn {

void ConditionalWork::Reset() {
  CompositeWork::Reset();
  current_ = condition_;
  if (condition_) condition_->Reset();
  if (success_work_) success_work_->Reset();
  if (failure_work_) failure_work_->Reset();
}

void ConditionalWork::OnAttachWorkflow(const std::shared_ptr<Workflow>& workflow) {
  if (condition_) condition_->AttachWorkflow(workflow);
  if (failure_work_) failure_work_->AttachWorkflow(workflow);
  if (success_work_) success_work_->AttachWorkflow(workflow);
}

void ConditionalWork::QueueAvailableWork(const std::shared_ptr<Workflow>& workflow) {
  if (!condition_ || !success_work_ || !failure_work_) {
    throw std::logic_error("ConditionalWork::QueueAvailableWork called with incomplete children");
  }
  condition_->QueueAvailableWork(workflow);
}

bool ConditionalWork::IsCurrentChild(const std::shared_ptr<const Work>& child) const {
  return !IsComplete() && current_ && current_.get() == child.get();
}

CompositeStep ConditionalWork::ProcessChildResult(const std::shared_ptr<const Work>& child,
                                                  const WorkStatus& status) {
  if (child.get() == condition_.get()) {
    current_ = status.result == WorkResult::Success ? success_work_ : failure_work_;
    current_->QueueAvailableWork(LockWorkflow());
    return CompositeStep::Waiting();
  }
  return CompositeStep::FromStatus(status);
}

void ConditionalWork::SetCondition(const std::shared_ptr<Work>& work) {
  if (condition_) return;
  condition_ = work;
  current_ = work;
  AttachChild(work);
}

void ConditionalWork::SetSuccessWork(const std::shared_ptr<Work>& work) {
  if (success_work_) return;
  success_work_ = work;
  AttachChild(work);
}

void ConditionalWork::SetFailureWork(const std::shared_ptr<Work>& work) {
  if (failure_work_) return;
  failure_work_ = work;
  AttachChild(work);
}

}  // namespace zarn
