#ifndef ZARN_WORK_PARALLEL_WORK_H_
#define ZARN_WORK_PARALLEL_WORK_H_

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "work/composite_work.h"

namespace zarn {

// Hands all its children to the workflow at once; succeeds when all have succeeded, and a
// child's Failure makes it an Error carrying that child's payload.
class ParallelWork : public CompositeWork {
 public:
  ParallelWork() = default;
  explicit ParallelWork(WorkCompleteCallback* observer) : CompositeWork(observer) {}

  // Also resets every child and clears every done flag.
  void Reset() override;
  void OnAttachWorkflow(const std::shared_ptr<Workflow>& workflow) override;
  // Queues every child, in the order added; std::logic_error when there is none.
  void QueueAvailableWork(const std::shared_ptr<Workflow>& workflow) override;
  // A child that has not succeeded yet in this run.
  bool IsCurrentChild(const std::shared_ptr<const Work>& child) const override;
  CompositeStep ProcessChildResult(const std::shared_ptr<const Work>& child,
                                   const WorkStatus& status) override;

  // Adding the same child twice has no effect.
  void AddChild(const std::shared_ptr<Work>& child);

 private:
  std::unordered_map<const Work*, bool> done_;  // child -> succeeded in this run
  std::uint32_t doneCount_ = 0;
  std::vector<std::shared_ptr<Work>> children_;  // in the order added
};

}  // namespace zarn

#endif  // ZARN_WORK_PARALLEL_WORK_H_
