#include "work/deferred_work.h"

#include <boost/property_tree/ptree.hpp>

#include "work/no_op_work.h"

namespace zarn {

std::shared_ptr<DeferredWork> DeferredWork::Create(WorkCompleteCallback* observer) {
  return std::make_shared<DeferredWork>(Token(), observer);
}

DeferredWork::DeferredWork(Token, WorkCompleteCallback* observer) {
  if (observer != nullptr) AddCompleteCallback(observer);
}

void DeferredWork::Describe(boost::property_tree::ptree& tree) const {
  tree.put("name", "DeferredWork");
}

bool DeferredWork::SetChildLocked(const std::shared_ptr<Work>& work) {
  if (child_) return false;
  child_ = work ? work : std::static_pointer_cast<Work>(NoOpWork::Create());
  // Adopted under the lock: whoever sees the child sees it attached to the workflow.
  AttachChild(child_);
  return true;
}

std::shared_ptr<Work> DeferredWork::ChildOrPlaceholder() {
  std::lock_guard<std::mutex> lock(childMutex_);
  SetChildLocked(nullptr);
  return child_;
}

bool DeferredWork::Assign(const std::shared_ptr<Work>& work) {
  std::lock_guard<std::mutex> lock(childMutex_);
  return SetChildLocked(work);
}

void DeferredWork::Reset() {
  CompositeWork::Reset();
  ChildOrPlaceholder()->Reset();
}

void DeferredWork::OnAttachWorkflow(const std::shared_ptr<Workflow>& workflow) {
  std::shared_ptr<Work> child;
  {
    std::lock_guard<std::mutex> lock(childMutex_);
    child = child_;
  }
  if (child) child->AttachWorkflow(workflow);
}

void DeferredWork::QueueAvailableWork(const std::shared_ptr<Workflow>& workflow) {
  ChildOrPlaceholder()->QueueAvailableWork(workflow);
}

bool DeferredWork::IsCurrentChild(const std::shared_ptr<const Work>& child) const {
  std::lock_guard<std::mutex> lock(childMutex_);
  return child_ && child_.get() == child.get();
}

CompositeStep DeferredWork::ProcessChildResult(const std::shared_ptr<const Work>&,
                                               const WorkStatus& status) {
  return CompositeStep::FromStatus(status);
}

}  // namespace zarn
