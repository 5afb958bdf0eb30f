#include "work/conditional_work.h"

#include <stdexcept>

namespace zarn {

void ConditionalWork::Reset() {
  CompositeWork::Reset();
  current_ = condition_;
  if (condition_) condition_->Reset();
  if (successWork_) successWork_->Reset();
  if (failureWork_) failureWork_->Reset();
}

void ConditionalWork::OnAttachWorkflow(const std::shared_ptr<Workflow>& workflow) {
  if (condition_) condition_->AttachWorkflow(workflow);
  if (failureWork_) failureWork_->AttachWorkflow(workflow);
  if (successWork_) successWork_->AttachWorkflow(workflow);
}

void ConditionalWork::QueueAvailableWork(const std::shared_ptr<Workflow>& workflow) {
  if (!condition_ || !successWork_ || !failureWork_) {
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
    current_ = status.result == WorkResult::Success ? successWork_ : failureWork_;
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
  if (successWork_) return;
  successWork_ = work;
  AttachChild(work);
}

void ConditionalWork::SetFailureWork(const std::shared_ptr<Work>& work) {
  if (failureWork_) return;
  failureWork_ = work;
  AttachChild(work);
}

}  // namespace zarn
