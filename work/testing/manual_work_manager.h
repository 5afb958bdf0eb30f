#ifndef ZARN_WORK_TESTING_MANUAL_WORK_MANAGER_H_
#define ZARN_WORK_TESTING_MANUAL_WORK_MANAGER_H_

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "work/work_manager.h"

namespace zarn {

// A work manager for tests: it keeps what is posted and runs one item at a time, in any
// order the test picks, through the same handlers as the real pool. Single-threaded.
class ManualWorkManager : public WorkManager {
 public:
  void PostWork(const std::shared_ptr<SimpleWork>& work) override {
    items_.push_back({nullptr, work});
  }
  void PostWorkflowWork(WorkflowWorkItem item) override { items_.push_back(std::move(item)); }

  std::size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  const std::shared_ptr<SimpleWork>& work(std::size_t index) const { return items_.at(index).work; }
  // Every queued work, oldest first.
  std::vector<std::shared_ptr<SimpleWork>> Queued() const {
    std::vector<std::shared_ptr<SimpleWork>> works;
    for (const auto& item : items_) works.push_back(item.work);
    return works;
  }

  // Takes the item at index (0 = posted first) off the queue and runs it.
  void Run(std::size_t index = 0) {
    if (index >= items_.size()) throw std::out_of_range("ManualWorkManager::Run");
    WorkflowWorkItem item = std::move(items_[index]);
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(index));
    if (item.workflow) {
      RunWorkflowWorkItem(item);
    } else {
      RunPostedWork(item.work);
    }
  }
  // Runs the given work's queued item.
  void Run(const std::shared_ptr<SimpleWork>& work) {
    for (std::size_t i = 0; i < items_.size(); ++i) {
      if (items_[i].work == work) return Run(i);
    }
    throw std::logic_error("ManualWorkManager::Run: the work is not queued");
  }
  // Runs items oldest first, including those posted meanwhile, at most limit of them.
  void RunAll(std::size_t limit = 100000) {
    while (!items_.empty() && limit-- > 0) Run(0);
  }

 private:
  std::vector<WorkflowWorkItem> items_;
};

}  // namespace zarn

#endif  // ZARN_WORK_TESTING_MANUAL_WORK_MANAGER_H_
