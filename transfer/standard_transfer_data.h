#ifndef ZARN_TRANSFER_STANDARD_TRANSFER_DATA_H_
#define ZARN_TRANSFER_STANDARD_TRANSFER_DATA_H_

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>

#include "transfer/transfer_behavior.h"
#include "transfer/transfer_params.h"

namespace zarn {

class NodeListManifest;
class PackageManifest;
class TransferStatusImpl;

// The record a transfer shares with its work interface: identity, behavior, progress,
// the acquired manifests and the files its works reported. Written by the transfer under
// its lock; read by the works through the work interface.
class StandardTransferData {
 public:
  StandardTransferData(const TransferParams& params, const TransferBehavior& behavior);
  StandardTransferData(const StandardTransferData&) = delete;
  StandardTransferData& operator=(const StandardTransferData&) = delete;
  virtual ~StandardTransferData();

  TransferParams params;
  TransferBehavior behavior;
  std::shared_ptr<TransferStatusImpl> status;
  std::shared_ptr<PackageManifest> package;
  std::shared_ptr<NodeListManifest> nodeList;
  uint8_t deleteFilesOnCancel = 0;
  std::unordered_set<std::string> trackedFiles;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_STANDARD_TRANSFER_DATA_H_
