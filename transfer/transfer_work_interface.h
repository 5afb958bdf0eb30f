#ifndef ZARN_TRANSFER_TRANSFER_WORK_INTERFACE_H_
#define ZARN_TRANSFER_TRANSFER_WORK_INTERFACE_H_

#include <memory>
#include <string>

namespace zarn {

class NodeListManifest;
class PackageManifest;
class TransferBehavior;
class TransferProgressUpdater;
class WorkCompleteCallback;
class WorkflowRetryableErrorCallback;
struct TransferParams;

// What every work of a transfer's tree holds of its transfer: identity, settings and
// services, the acquired manifests, the progress counters, and the observers that lead back
// into the transfer's handlers. Works never see the transfer itself.
//
// CopyParams and TrackFile take the transfer's lock; the other reads take none (the
// manifests are stored before any work that needs them runs, and works that need identity
// strings that can change take a copy).
class TransferWorkInterface {
 public:
  virtual ~TransferWorkInterface() = default;

  virtual TransferParams CopyParams() = 0;
  virtual TransferParams& GetParams() = 0;
  virtual TransferBehavior& GetBehavior() = 0;
  virtual std::shared_ptr<PackageManifest> GetPackage() = 0;
  virtual std::shared_ptr<NodeListManifest> GetNodeList() = 0;
  virtual std::shared_ptr<TransferProgressUpdater> GetProgressUpdater() = 0;

  // The observers that the root, the package work, the node-list work and the
  // initialization work register; they live as long as this interface.
  virtual WorkCompleteCallback* GetWorkCompleteCallback() = 0;
  virtual WorkCompleteCallback* GetPackageAcquireCallback() = 0;
  virtual WorkCompleteCallback* GetNodeListAcquireCallback() = 0;
  virtual WorkCompleteCallback* GetInitializeCallback() = 0;
  virtual WorkflowRetryableErrorCallback* GetRetryableErrorCallback() = 0;

  // Reports a file (relative to the destination folder) that a file work wrote.
  virtual void TrackFile(const std::string& filePath) = 0;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_TRANSFER_WORK_INTERFACE_H_
