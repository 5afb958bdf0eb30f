#include "transfer/standard_transfer_work_interface.h"

#include <utility>

#include "transfer/standard_transfer.h"
#include "transfer/standard_transfer_data.h"
#include "transfer/transfer_status_impl.h"

namespace zarn {

StandardTransferWorkInterface::StandardTransferWorkInterface(
    StandardTransfer* transfer, std::shared_ptr<std::recursive_mutex> transferMutex,
    std::shared_ptr<StandardTransferData> data)
    : transfer_(transfer),
      transferMutex_(std::move(transferMutex)),
      data_(std::move(data)),
      workComplete_(this, &StandardTransferWorkInterface::ForwardWorkComplete),
      packageAcquire_(this, &StandardTransferWorkInterface::ForwardPackageAcquire),
      nodeListAcquire_(this, &StandardTransferWorkInterface::ForwardNodeListAcquire),
      initialize_(this, &StandardTransferWorkInterface::ForwardInitialize) {}

StandardTransferWorkInterface::~StandardTransferWorkInterface() = default;

TransferParams StandardTransferWorkInterface::CopyParams() {
  std::lock_guard<std::recursive_mutex> lock(*transferMutex_);
  return data_->params;
}

TransferParams& StandardTransferWorkInterface::GetParams() { return data_->params; }

TransferBehavior& StandardTransferWorkInterface::GetBehavior() { return data_->behavior; }

std::shared_ptr<PackageManifest> StandardTransferWorkInterface::GetPackage() {
  return data_->package;
}

std::shared_ptr<NodeListManifest> StandardTransferWorkInterface::GetNodeList() {
  return data_->nodeList;
}

std::shared_ptr<TransferProgressUpdater> StandardTransferWorkInterface::GetProgressUpdater() {
  return data_->status;
}

void StandardTransferWorkInterface::TrackFile(const std::string& filePath) {
  TransferLock lock(*transferMutex_);
  if (alive_) transfer_->TrackFile(lock, filePath);
}

void StandardTransferWorkInterface::OnWorkflowRetryableError(
    const std::shared_ptr<Workflow>& workflow, const std::shared_ptr<const Work>& work,
    const WorkStatus& status) {
  TransferLock lock(*transferMutex_);
  if (alive_) transfer_->OnWorkflowRetryableError(lock, workflow, work, status);
}

void StandardTransferWorkInterface::Detach() {
  std::lock_guard<std::recursive_mutex> lock(*transferMutex_);
  alive_ = false;
}

void StandardTransferWorkInterface::ForwardWorkComplete(const std::shared_ptr<const Work>& work,
                                                        const WorkStatus& status) {
  TransferLock lock(*transferMutex_);
  if (alive_) transfer_->OnWorkComplete(lock, work, status);
}

void StandardTransferWorkInterface::ForwardPackageAcquire(const std::shared_ptr<const Work>& work,
                                                          const WorkStatus& status) {
  TransferLock lock(*transferMutex_);
  if (alive_) transfer_->OnPackageAcquire(lock, work, status);
}

void StandardTransferWorkInterface::ForwardNodeListAcquire(const std::shared_ptr<const Work>& work,
                                                           const WorkStatus& status) {
  TransferLock lock(*transferMutex_);
  if (alive_) transfer_->OnNodeListAcquire(lock, work, status);
}

void StandardTransferWorkInterface::ForwardInitialize(const std::shared_ptr<const Work>& work,
                                                      const WorkStatus& status) {
  TransferLock lock(*transferMutex_);
  if (alive_) transfer_->OnInitialize(lock, work, status);
}

}  // namespace zarn
