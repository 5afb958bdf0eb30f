#ifndef ZARN_WORK_WORK_MANAGER_H_
#define ZARN_WORK_WORK_MANAGER_H_

#include <memory>

namespace zarn {

class SimpleWork;
class Workflow;

// One leaf scheduled by a workflow. Both pointers keep their objects alive until the
// handler has finished with them.
struct WorkflowWorkItem {
  std::shared_ptr<Workflow> workflow;
  std::shared_ptr<SimpleWork> work;
};

// A pool of threads that runs posted works. Posting may happen from any thread, pool
// threads and holders of a workflow's lock included, and never runs a work inline.
class WorkManager {
 public:
  WorkManager() = default;
  WorkManager(const WorkManager&) = delete;
  WorkManager& operator=(const WorkManager&) = delete;
  virtual ~WorkManager() = default;

  // Runs the work, then notifies its observers; whatever throws is dropped.
  virtual void PostWork(const std::shared_ptr<SimpleWork>& work) = 0;
  // Runs the leaf, notifies its observers and tells the workflow it has finished; whatever
  // throws terminates the workflow with an Error status carrying the exception.
  virtual void PostWorkflowWork(WorkflowWorkItem item) = 0;
};

// What a pool thread does with each kind of posted item. Every work manager runs its items
// through these, so a manager that runs them on demand behaves as the real pool does.
// Neither ever throws.
void RunPostedWork(const std::shared_ptr<SimpleWork>& work);
void RunWorkflowWorkItem(const WorkflowWorkItem& item);

}  // namespace zarn

#endif  // ZARN_WORK_WORK_MANAGER_H_
