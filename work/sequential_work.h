#ifndef ZARN_WORK_SEQUENTIAL_WORK_H_
#define ZARN_WORK_SEQUENTIAL_WORK_H_

#include <cstdint>
#include <memory>
#include <vector>

#include "work/composite_work.h"

namespace zarn {

// Runs its children one after another; stops at the first that does not succeed.
class SequentialWork : public CompositeWork {
 public:
  SequentialWork() = default;
  explicit SequentialWork(WorkCompleteCallback* observer) : CompositeWork(observer) {}

  // Also resets every child and goes back to the first.
  void Reset() override;
  void OnAttachWorkflow(const std::shared_ptr<Workflow>& workflow) override;
  // Queues the first child; std::logic_error when there is none.
  void QueueAvailableWork(const std::shared_ptr<Workflow>& workflow) override;
  bool IsCurrentChild(const std::shared_ptr<const Work>& child) const override;
  CompositeStep ProcessChildResult(const std::shared_ptr<const Work>& child,
                                   const WorkStatus& status) override;

  void AddChild(const std::shared_ptr<Work>& child);

 private:
  std::vector<std::shared_ptr<Work>> children_;
  std::uint32_t index_ = 0;
};

}  // namespace zarn

#endif  // ZARN_WORK_SEQUENTIAL_WORK_H_
