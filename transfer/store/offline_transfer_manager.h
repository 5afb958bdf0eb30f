#ifndef ZARN_TRANSFER_STORE_OFFLINE_TRANSFER_MANAGER_H_
#define ZARN_TRANSFER_STORE_OFFLINE_TRANSFER_MANAGER_H_

#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "transfer/store/transfer_manager.h"

namespace zarn {

class TransferFactory;

// 32 lowercase hexadecimal digits: a random (version 4) UUID without its dashes.
std::string NewTransferId();

// A transfer manager that holds its transfers in memory only.
class OfflineTransferManager : public TransferManager {
 public:
  explicit OfflineTransferManager(TransferFactory* factory);
  ~OfflineTransferManager() override;

  std::shared_ptr<Transfer> CreateTransfer(const TransferParams& params,
                                           const TransferBehavior& behavior) override;
  std::shared_ptr<Transfer> GetTransfer(const std::string& transferId,
                                        const TransferBehavior& behavior) override;
  void Shutdown() override;

 protected:
  using Table = std::unordered_map<std::string, std::shared_ptr<Transfer>>;

  TransferFactory* factory_;
  std::recursive_mutex mutex_;
  Table transfers_;
  bool shutDown_ = false;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_STORE_OFFLINE_TRANSFER_MANAGER_H_
