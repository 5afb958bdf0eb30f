#ifndef ZARN_WORK_WORKFLOW_RETRYABLE_ERROR_CALLBACK_H_
#define ZARN_WORK_WORKFLOW_RETRYABLE_ERROR_CALLBACK_H_

#include <memory>

namespace zarn {

class Work;
class Workflow;
struct WorkStatus;

// Told, with no workflow lock held, when a RetryableError whose retries are spent has moved
// the workflow into its retry-pending state; may call back into the workflow (Retry).
class WorkflowRetryableErrorCallback {
 public:
  virtual ~WorkflowRetryableErrorCallback() = default;
  virtual void OnWorkflowRetryableError(const std::shared_ptr<Workflow>& workflow,
                                        const std::shared_ptr<const Work>& work,
                                        const WorkStatus& status) = 0;
};

}  // namespace zarn

#endif  // ZARN_WORK_WORKFLOW_RETRYABLE_ERROR_CALLBACK_H_
