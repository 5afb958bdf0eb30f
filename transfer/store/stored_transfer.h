#ifndef ZARN_TRANSFER_STORE_STORED_TRANSFER_H_
#define ZARN_TRANSFER_STORE_STORED_TRANSFER_H_

#include <mutex>

#include "transfer/standard_transfer.h"
#include "transfer/store/manifest_store.h"

namespace zarn {

class TransferManifest;

// A standard transfer that keeps its identity in the transfer store while it runs: a
// successful Start saves it (with the destination folder), a Cancel removes it unless the
// transfer is left suspended. The store is called after the transfer's lock is released.
class StoredTransfer : public StandardTransfer {
 public:
  StoredTransfer(const TransferParams& params, const TransferBehavior& behavior,
                 TransferWorkflowFactory* workflowFactory, ManifestStore<TransferManifest>* store);

  TransferStatus Start(const std::string& folder) override;
  TransferStatus Cancel(bool deleteFiles) override;

 protected:
  // Runs on the cancelling thread when a Cancel finds a Start still storing the identity
  // and is about to wait for it; tests use it to know the cancel has gone as far as it can.
  virtual void OnWaitForStore() {}

 private:
  ManifestStore<TransferManifest>* store_;
  // Held through Start and around Cancel's remove, never inside the transfer's lock: a
  // cancel on another thread while the start event is sent removes the file only after the
  // start has saved it, instead of before, which would leave it behind.
  std::mutex storeMutex_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_STORE_STORED_TRANSFER_H_
