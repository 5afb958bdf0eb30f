#ifndef ZARN_TRANSFER_TRANSFER_WORKFLOW_FACTORY_H_
#define ZARN_TRANSFER_TRANSFER_WORKFLOW_FACTORY_H_

#include <memory>

namespace zarn {

class TransferWorkInterface;
class Workflow;

// Makes the workflow that runs a transfer's whole work tree. The workflow is returned
// attached to its tree but not started.
class TransferWorkflowFactory {
 public:
  virtual ~TransferWorkflowFactory() = default;
  virtual std::shared_ptr<Workflow> CreateWorkflow(
      const std::shared_ptr<TransferWorkInterface>& workInterface) = 0;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_TRANSFER_WORKFLOW_FACTORY_H_
