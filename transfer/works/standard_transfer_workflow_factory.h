#ifndef ZARN_TRANSFER_WORKS_STANDARD_TRANSFER_WORKFLOW_FACTORY_H_
#define ZARN_TRANSFER_WORKS_STANDARD_TRANSFER_WORKFLOW_FACTORY_H_

#include "transfer/transfer_workflow_factory.h"

namespace zarn {

// Builds a transfer's whole tree under one StandardWorkflow on the engine pool, which runs
// at most the configured number of the transfer's works at once.
class StandardTransferWorkflowFactory : public TransferWorkflowFactory {
 public:
  std::shared_ptr<Workflow> CreateWorkflow(
      const std::shared_ptr<TransferWorkInterface>& workInterface) override;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_WORKS_STANDARD_TRANSFER_WORKFLOW_FACTORY_H_
