#include "work/work.h"

#include <boost/property_tree/ptree.hpp>
#include <stdexcept>

#include "work/work_complete_callback.h"
#include "work/work_status.h"
#include "work/workflow.h"

namespace zarn {

Work::Work() = default;

Work::Work(WorkCompleteCallback* observer) {
  if (observer == nullptr) throw std::invalid_argument("Work::Work called with no observer");
  observers_.push_back(observer);
}

Work::~Work() = default;

void Work::Describe(boost::property_tree::ptree&) const {}

bool Work::ShouldRetry() { return false; }

void Work::DescribeWithStatus(const WorkStatus& status, boost::property_tree::ptree& tree) const {
  Describe(tree);
  boost::property_tree::ptree status_tree;
  status.Describe(status_tree);
  tree.put_child("workStatus", status_tree);
}

void Work::AttachWorkflow(const std::shared_ptr<Workflow>& workflow) {
  if (!workflow) throw std::invalid_argument("Work::AttachWorkflow called with no workflow");
  WorkCompleteCallback* observer = workflow.get();
  if (attached_) {
    observers_.front() = observer;
  } else {
    observers_.insert(observers_.begin(), observer);
  }
  attached_ = true;
  OnAttachWorkflow(workflow);
}

void Work::NotifyComplete(const WorkStatus& status) const {
  const std::shared_ptr<const Work> self = SharedFromThisConst();
  // By index: an observer may not change the list, but a stale iterator must never be used.
  for (std::size_t i = 0; i < observers_.size(); ++i) {
    observers_[i]->OnWorkComplete(self, status);
  }
}

void Work::AddCompleteCallback(WorkCompleteCallback* observer) {
  if (observer == nullptr) {
    throw std::invalid_argument("Work::AddCompleteCallback called with no observer");
  }
  if (hasParent_) {
    observers_.insert(observers_.end() - 1, observer);
  } else {
    observers_.push_back(observer);
  }
}

}  // namespace zarn
