#include "transfer/store/stored_transfer.h"

#include "transfer/standard_transfer_data.h"
#include "transfer/transfer_manifest.h"

namespace zarn {

StoredTransfer::StoredTransfer(const TransferParams& params, const TransferBehavior& behavior,
                               TransferWorkflowFactory* workflowFactory,
                               ManifestStore<TransferManifest>* store)
    : StandardTransfer(params, behavior, workflowFactory), store_(store) {}

TransferStatus StoredTransfer::Start(const std::string& folder) {
  TransferStatus result;
  std::lock_guard<std::mutex> storeLock(storeMutex_);
  TransferLock lock(GetMutex());
  std::shared_ptr<StandardTransferData> data = GetTransferData();
  StartLocked(result, lock, folder);
  if (!lock.owns_lock()) {
    // The lock is released only when the start took place and its event fired. The
    // params are read under the lock again: versionId and destPath belong to the transfer.
    TransferParams params;
    {
      TransferLock again(GetMutex());
      params = data->params;
    }
    store_->Save(params.transferId, TransferManifest(params));
  }
  return result;
}

TransferStatus StoredTransfer::Cancel(bool deleteFiles) {
  TransferStatus result;
  TransferLock lock(GetMutex());
  std::shared_ptr<StandardTransferData> data = GetTransferData();
  CancelLocked(result, lock, deleteFiles);
  if (result.state == TransferState::Suspended && result.error == TransferError::None) {
    return result;
  }
  if (lock.owns_lock()) lock.unlock();
  std::unique_lock<std::mutex> storeLock(storeMutex_, std::try_to_lock);
  if (!storeLock.owns_lock()) {
    OnWaitForStore();
    storeLock.lock();
  }
  store_->Remove(data->params.transferId);
  return result;
}

}  // namespace zarn
