#include "transfer/store/stored_transfer_factory.h"

#include "transfer/store/stored_transfer.h"

namespace zarn {

StoredTransferFactory::StoredTransferFactory(ManifestStore<TransferManifest>* store,
                                             TransferWorkflowFactory* workflowFactory)
    : store_(store), workflowFactory_(workflowFactory) {}

std::shared_ptr<Transfer> StoredTransferFactory::CreateTransfer(const TransferParams& params,
                                                                const TransferBehavior& behavior) {
  return std::make_shared<StoredTransfer>(params, behavior, workflowFactory_, store_);
}

}  // namespace zarn
