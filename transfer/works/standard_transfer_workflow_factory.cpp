#include "transfer/works/standard_transfer_workflow_factory.h"

#include "transfer/transfer_behavior.h"
#include "transfer/transfer_work_interface.h"
#include "transfer/works/transfer_package_work.h"
#include "work/standard_workflow.h"

namespace zarn {

std::shared_ptr<Workflow> StandardTransferWorkflowFactory::CreateWorkflow(
    const std::shared_ptr<TransferWorkInterface>& workInterface) {
  const TransferBehavior& behavior = workInterface->GetBehavior();
  return MakeStandardWorkflow(behavior.workManager, TransferPackageWork::Create(workInterface),
                              behavior.config.workflowMaxRunning);
}

}  // namespace zarn
