#include "transfer/store/offline_transfer_manager.h"

#include <algorithm>
#include <boost/uuid/random_generator.hpp>
#include <boost/uuid/uuid_io.hpp>

#include "transfer/transfer.h"
#include "transfer/transfer_factory.h"
#include "transfer/transfer_params.h"
#include "transfer/transfer_status.h"

namespace zarn {

std::string NewTransferId() {
  boost::uuids::random_generator generator;
  std::string id = boost::uuids::to_string(generator());
  id.erase(std::remove(id.begin(), id.end(), '-'), id.end());
  return id;
}

OfflineTransferManager::OfflineTransferManager(TransferFactory* factory)
    : factory_(factory), transfers_(11) {
  transfers_.max_load_factor(1.0f);
}

OfflineTransferManager::~OfflineTransferManager() = default;

std::shared_ptr<Transfer> OfflineTransferManager::CreateTransfer(const TransferParams& params,
                                                                 const TransferBehavior& behavior) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (shutDown_) return nullptr;
  TransferParams copy = params;
  for (;;) {
    copy.transferId = NewTransferId();
    std::shared_ptr<Transfer> transfer = factory_->CreateTransfer(copy, behavior);
    if (transfers_.emplace(copy.transferId, transfer).second) return transfer;
  }
}

std::shared_ptr<Transfer> OfflineTransferManager::GetTransfer(const std::string& transferId,
                                                              const TransferBehavior&) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  if (shutDown_) return nullptr;
  auto found = transfers_.find(transferId);
  return found == transfers_.end() ? nullptr : found->second;
}

void OfflineTransferManager::Shutdown() {
  // Runs in destructors, so it takes no memory: the table is swapped out, suspended outside
  // the lock (a transfer may call back into the manager) and swapped back, so the transfers
  // live as long as the manager. Nothing is added meanwhile, since shutDown_ is set.
  Table transfers;
  {
    std::lock_guard<std::recursive_mutex> lock(mutex_);
    shutDown_ = true;
    transfers.swap(transfers_);
  }
  for (const auto& entry : transfers) {
    if (entry.second) entry.second->Suspend();
  }
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  transfers_.swap(transfers);
}

}  // namespace zarn
