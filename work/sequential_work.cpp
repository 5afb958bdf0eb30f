#include "work/sequential_work.h"

#include <stdexcept>

namespace zarn {

void SequentialWork::Reset() {
  CompositeWork::Reset();
  index_ = 0;
  for (const auto& child : children_) child->Reset();
}

void SequentialWork::OnAttachWorkflow(const std::shared_ptr<Workflow>& workflow) {
  for (const auto& child : children_) child->AttachWorkflow(workflow);
}

void SequentialWork::QueueAvailableWork(const std::shared_ptr<Workflow>& workflow) {
  // Without children the sequence could never complete, and its workflow would hang.
  if (children_.empty()) {
    throw std::logic_error("SequentialWork::QueueAvailableWork called with no children");
  }
  children_.front()->QueueAvailableWork(workflow);
}

bool SequentialWork::IsCurrentChild(const std::shared_ptr<const Work>& child) const {
  return !IsComplete() && !children_.empty() && children_[index_].get() == child.get();
}

CompositeStep SequentialWork::ProcessChildResult(const std::shared_ptr<const Work>&,
                                                 const WorkStatus& status) {
  if (status.result == WorkResult::Success && index_ + 1 < children_.size()) {
    ++index_;
    children_[index_]->QueueAvailableWork(LockWorkflow());
    return CompositeStep::Waiting();
  }
  return CompositeStep::FromStatus(status);
}

void SequentialWork::AddChild(const std::shared_ptr<Work>& child) {
  children_.push_back(child);
  AttachChild(child);
}

}  // namespace zarn
