#ifndef ZARN_TRANSFER_STORE_TEMP_FILE_TRANSFER_MANAGER_H_
#define ZARN_TRANSFER_STORE_TEMP_FILE_TRANSFER_MANAGER_H_

#include "transfer/store/manifest_store.h"
#include "transfer/store/offline_transfer_manager.h"

namespace zarn {

class TransferManifest;

// The manager the engine uses: it also brings back a transfer from the transfer store when
// asked for an id that it does not hold in memory.
class TempFileTransferManager : public OfflineTransferManager {
 public:
  TempFileTransferManager(ManifestStore<TransferManifest>* store, TransferFactory* factory);

  // The transfer in memory, else one made from its stored record (new: neither initialized
  // nor restored); empty when there is neither or the record names another id.
  std::shared_ptr<Transfer> GetTransfer(const std::string& transferId,
                                        const TransferBehavior& behavior) override;

 private:
  ManifestStore<TransferManifest>* store_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_STORE_TEMP_FILE_TRANSFER_MANAGER_H_
