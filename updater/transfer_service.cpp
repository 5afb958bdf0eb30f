#include "updater/transfer_service.h"

#include <cassert>
#include <utility>

#include "updater/transfer_service_api.h"

namespace zarn {

TransferService::TransferService(std::unique_ptr<TransferServiceApi> impl) : px_(std::move(impl)) {}

TransferService::~TransferService() = default;

TransferStatus TransferService::CreateTransfer(const std::string& partnerId,
                                               const std::string& packageId,
                                               const std::string& versionId) {
  assert(px_ != nullptr);
  return px_->CreateTransfer(partnerId, packageId, versionId);
}

TransferStatus TransferService::CreateTransfer(const std::string& partnerId,
                                               const std::string& packageId) {
  return CreateTransfer(partnerId, packageId, "?");
}

TransferStatus TransferService::StartTransfer(const std::string& transferId,
                                              const std::string& folder) {
  assert(px_ != nullptr);
  return px_->StartTransfer(transferId, folder);
}

TransferStatus TransferService::GetStatus(const std::string& transferId) {
  assert(px_ != nullptr);
  return px_->GetStatus(transferId);
}

}  // namespace zarn
