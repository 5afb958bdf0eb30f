#ifndef ZARN_TRANSFER_STORE_STORED_TRANSFER_FACTORY_H_
#define ZARN_TRANSFER_STORE_STORED_TRANSFER_FACTORY_H_

#include "transfer/store/manifest_store.h"
#include "transfer/transfer_factory.h"

namespace zarn {

class TransferManifest;
class TransferWorkflowFactory;

// Makes StoredTransfer objects: standard transfers that keep their identity in the store
// while they run.
class StoredTransferFactory : public TransferFactory {
 public:
  StoredTransferFactory(ManifestStore<TransferManifest>* store,
                        TransferWorkflowFactory* workflowFactory);
  StoredTransferFactory(const StoredTransferFactory&) = delete;
  StoredTransferFactory& operator=(const StoredTransferFactory&) = delete;

  std::shared_ptr<Transfer> CreateTransfer(const TransferParams& params,
                                           const TransferBehavior& behavior) override;

 private:
  ManifestStore<TransferManifest>* store_;
  TransferWorkflowFactory* workflowFactory_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_STORE_STORED_TRANSFER_FACTORY_H_
