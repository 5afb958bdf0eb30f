#ifndef ZARN_TRANSFER_STORE_TRANSFER_MANAGER_H_
#define ZARN_TRANSFER_STORE_TRANSFER_MANAGER_H_

#include <memory>
#include <string>

namespace zarn {

class Transfer;
class TransferBehavior;
struct TransferParams;

// Owns every transfer of the process, keyed by transfer id.
class TransferManager {
 public:
  virtual ~TransferManager() = default;

  // A new transfer under a fresh id (the id in `params` is ignored); empty after Shutdown.
  // The transfer is neither initialized nor started.
  virtual std::shared_ptr<Transfer> CreateTransfer(const TransferParams& params,
                                                   const TransferBehavior& behavior) = 0;
  // The transfer with that id; empty when there is none or after Shutdown.
  virtual std::shared_ptr<Transfer> GetTransfer(const std::string& transferId,
                                                const TransferBehavior& behavior) = 0;
  // Refuses new transfers and suspends every transfer held.
  virtual void Shutdown() = 0;

 protected:
  TransferManager() = default;
  TransferManager(const TransferManager&) = delete;
  TransferManager& operator=(const TransferManager&) = delete;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_STORE_TRANSFER_MANAGER_H_
