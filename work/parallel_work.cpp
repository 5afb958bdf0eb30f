#include "work/parallel_work.h"

#include <stdexcept>

namespace zarn {

void ParallelWork::Reset() {
  CompositeWork::Reset();
  doneCount_ = 0;
  for (const auto& child : children_) {
    done_[child.get()] = false;
    child->Reset();
  }
}

void ParallelWork::OnAttachWorkflow(const std::shared_ptr<Workflow>& workflow) {
  for (const auto& child : children_) child->AttachWorkflow(workflow);
}

void ParallelWork::QueueAvailableWork(const std::shared_ptr<Workflow>& workflow) {
  // Without children the parallel work could never complete, and its workflow would hang.
  if (children_.empty()) {
    throw std::logic_error("ParallelWork::QueueAvailableWork called with no children");
  }
  for (const auto& child : children_) child->QueueAvailableWork(workflow);
}

bool ParallelWork::IsCurrentChild(const std::shared_ptr<const Work>& child) const {
  const auto it = done_.find(child.get());
  return it != done_.end() && !it->second;
}

CompositeStep ParallelWork::ProcessChildResult(const std::shared_ptr<const Work>& child,
                                               const WorkStatus& status) {
  if (status.result == WorkResult::Failure) {
    return CompositeStep::FromStatus(WorkStatus(WorkResult::Error, status.data));
  }
  done_[child.get()] = true;
  ++doneCount_;
  if (doneCount_ == done_.size()) {
    return CompositeStep::FromStatus(WorkStatus(WorkResult::Success));
  }
  return CompositeStep::Waiting();
}

void ParallelWork::AddChild(const std::shared_ptr<Work>& child) {
  if (!done_.emplace(child.get(), false).second) return;
  children_.push_back(child);
  AttachChild(child);
}

}  // namespace zarn
