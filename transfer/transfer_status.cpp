#include "transfer/transfer_status.h"

#include "transfer/transfer_params.h"

namespace zarn {

TransferStatus TransferStatus::MakeEmpty() {
  TransferStatus status;
  status.partnerId = UnsetText();
  status.packageId = UnsetText();
  status.versionId = UnsetText();
  status.destPath = UnsetText();
  status.state = TransferState::None;
  status.error = TransferError::Internal;
  return status;
}

TransferStatus TransferStatus::MakeForId(const std::string& id, TransferState state) {
  TransferStatus status;
  status.transferId = id;
  status.partnerId = UnsetText();
  status.packageId = UnsetText();
  status.versionId = UnsetText();
  status.state = state;
  status.error = TransferError::None;
  return status;
}

}  // namespace zarn
