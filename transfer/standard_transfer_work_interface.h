#ifndef ZARN_TRANSFER_STANDARD_TRANSFER_WORK_INTERFACE_H_
#define ZARN_TRANSFER_STANDARD_TRANSFER_WORK_INTERFACE_H_

#include <memory>
#include <mutex>
#include <string>

#include "transfer/transfer_work_interface.h"
#include "work/work_complete_callback.h"
#include "work/workflow_retryable_error_callback.h"

namespace zarn {

class StandardTransfer;
class StandardTransferData;

// The work interface of a StandardTransfer's current data. Every report it forwards takes
// the transfer's lock and reaches the transfer only while the interface is attached: once
// the transfer has replaced its data or is destroyed (Detach), reports of the old works
// are dropped. The lock is shared with the transfer and outlives it, so that a work still
// running after the transfer is gone touches nothing of it.
class StandardTransferWorkInterface : public TransferWorkInterface,
                                      public WorkflowRetryableErrorCallback {
 public:
  StandardTransferWorkInterface(StandardTransfer* transfer,
                                std::shared_ptr<std::recursive_mutex> transferMutex,
                                std::shared_ptr<StandardTransferData> data);
  StandardTransferWorkInterface(const StandardTransferWorkInterface&) = delete;
  StandardTransferWorkInterface& operator=(const StandardTransferWorkInterface&) = delete;
  ~StandardTransferWorkInterface() override;

  TransferParams CopyParams() override;
  TransferParams& GetParams() override;
  TransferBehavior& GetBehavior() override;
  std::shared_ptr<PackageManifest> GetPackage() override;
  std::shared_ptr<NodeListManifest> GetNodeList() override;
  std::shared_ptr<TransferProgressUpdater> GetProgressUpdater() override;
  WorkCompleteCallback* GetWorkCompleteCallback() override { return &workComplete_; }
  WorkCompleteCallback* GetPackageAcquireCallback() override { return &packageAcquire_; }
  WorkCompleteCallback* GetNodeListAcquireCallback() override { return &nodeListAcquire_; }
  WorkCompleteCallback* GetInitializeCallback() override { return &initialize_; }
  WorkflowRetryableErrorCallback* GetRetryableErrorCallback() override { return this; }
  void TrackFile(const std::string& filePath) override;

  void OnWorkflowRetryableError(const std::shared_ptr<Workflow>& workflow,
                                const std::shared_ptr<const Work>& work,
                                const WorkStatus& status) override;

  // From now on every report through this interface is dropped.
  void Detach();

 private:
  using Forward = void (StandardTransferWorkInterface::*)(const std::shared_ptr<const Work>&,
                                                          const WorkStatus&);

  class InternalCallback : public WorkCompleteCallback {
   public:
    InternalCallback(StandardTransferWorkInterface* owner, Forward forward)
        : owner_(owner), forward_(forward) {}
    void OnWorkComplete(const std::shared_ptr<const Work>& work,
                        const WorkStatus& status) override {
      (owner_->*forward_)(work, status);
    }

   private:
    StandardTransferWorkInterface* owner_;
    Forward forward_;
  };

  void ForwardWorkComplete(const std::shared_ptr<const Work>& work, const WorkStatus& status);
  void ForwardPackageAcquire(const std::shared_ptr<const Work>& work, const WorkStatus& status);
  void ForwardNodeListAcquire(const std::shared_ptr<const Work>& work, const WorkStatus& status);
  void ForwardInitialize(const std::shared_ptr<const Work>& work, const WorkStatus& status);

  StandardTransfer* transfer_;  // only while alive_, under transferMutex_
  const std::shared_ptr<std::recursive_mutex> transferMutex_;
  std::shared_ptr<StandardTransferData> data_;
  bool alive_ = true;
  InternalCallback workComplete_;
  InternalCallback packageAcquire_;
  InternalCallback nodeListAcquire_;
  InternalCallback initialize_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_STANDARD_TRANSFER_WORK_INTERFACE_H_
