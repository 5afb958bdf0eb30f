#include "transfer/store/temp_file_transfer_manager.h"

#include "transfer/transfer.h"
#include "transfer/transfer_factory.h"
#include "transfer/transfer_manifest.h"

namespace zarn {

TempFileTransferManager::TempFileTransferManager(ManifestStore<TransferManifest>* store,
                                                 TransferFactory* factory)
    : OfflineTransferManager(factory), store_(store) {}

std::shared_ptr<Transfer> TempFileTransferManager::GetTransfer(const std::string& transferId,
                                                               const TransferBehavior& behavior) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (std::shared_ptr<Transfer> transfer =
          OfflineTransferManager::GetTransfer(transferId, behavior)) {
    return transfer;
  }
  // Nothing is brought back after Shutdown: the engine is going away.
  if (shutDown_) return nullptr;
  TransferManifest record;
  if (!store_->Load(transferId, record) || record.GetParams().transferId != transferId) {
    return nullptr;
  }
  std::shared_ptr<Transfer> transfer = factory_->CreateTransfer(record.GetParams(), behavior);
  transfers_[transferId] = transfer;
  return transfer;
}

}  // namespace zarn
