#ifndef ZARN_TRANSFER_STANDARD_TRANSFER_H_
#define ZARN_TRANSFER_STANDARD_TRANSFER_H_

#include <memory>
#include <mutex>
#include <string>

#include "transfer/transfer.h"
#include "transfer/transfer_status.h"

namespace zarn {

class StandardTransferData;
class StandardTransferWorkInterface;
class TransferBehavior;
class TransferEvent;
class TransferWorkflowFactory;
class Work;
class Workflow;
struct TransferParams;
struct WorkStatus;

using TransferLock = std::unique_lock<std::recursive_mutex>;

// A transfer as a small state machine over one workflow that runs its whole work tree.
// Public operations and the handlers through which the works report back run under the
// transfer's recursive lock; events are fired after the lock has been released, with the
// snapshot (and the status deltas they report) taken under it.
//
// Works may outlive the transfer (running chunk works keep the tree): its destruction
// detaches the work interface, whose later reports are dropped without touching it.
class StandardTransfer : public Transfer {
 public:
  // Built Initializing with a workflow that is not started yet, or Suspended when the
  // params' suspended flag is set.
  StandardTransfer(const TransferParams& params, const TransferBehavior& behavior,
                   TransferWorkflowFactory* workflowFactory);
  ~StandardTransfer() override;

  TransferStatus Initialize() override;
  TransferStatus Start(const std::string& folder) override;
  bool HasEnoughDiskSpace(const std::string& folder) override;
  TransferStatus GetStatus() override;
  TransferStatus Cancel(bool deleteFiles) override;
  TransferStatus Pause() override;
  TransferStatus Resume() override;
  TransferStatus Retry() override;
  TransferStatus Suspend() override;
  TransferStatus Restore() override;
  std::shared_ptr<TransferWorkInterface> GetData() override;
  std::string DescribeNodes() override;

  // The handlers, reached through the work interface with the lock held in `lock`. A
  // handler that fires an event or fails releases the lock through it. None acts once the
  // transfer is final (None, Suspended, Completed, Canceled) or fatally failed.
  virtual void OnWorkComplete(TransferLock& lock, const std::shared_ptr<const Work>& work,
                              const WorkStatus& status);
  virtual void OnPackageAcquire(TransferLock& lock, const std::shared_ptr<const Work>& work,
                                const WorkStatus& status);
  virtual void OnNodeListAcquire(TransferLock& lock, const std::shared_ptr<const Work>& work,
                                 const WorkStatus& status);
  virtual void OnInitialize(TransferLock& lock, const std::shared_ptr<const Work>& work,
                            const WorkStatus& status);
  virtual void OnWorkflowRetryableError(TransferLock& lock,
                                        const std::shared_ptr<Workflow>& workflow,
                                        const std::shared_ptr<const Work>& work,
                                        const WorkStatus& status);
  // Holds the name of a file a work wrote, or deletes the file at once after a cancel that
  // deletes files.
  virtual void TrackFile(TransferLock& lock, const std::string& name);

  std::recursive_mutex& GetMutex() { return *mutex_; }

 protected:
  virtual void InitializeLocked(TransferStatus& result, TransferLock& lock);
  virtual void StartLocked(TransferStatus& result, TransferLock& lock, const std::string& folder);
  virtual void GetStatusLocked(TransferStatus& result, TransferLock& lock);
  virtual void CancelLocked(TransferStatus& result, TransferLock& lock, bool deleteFiles);
  virtual void PauseLocked(TransferStatus& result, TransferLock& lock);
  virtual void ResumeLocked(TransferStatus& result, TransferLock& lock);
  virtual void RetryLocked(TransferStatus& result, TransferLock& lock);
  virtual void SuspendLocked(TransferStatus& result, TransferLock& lock);
  virtual void RestoreLocked(TransferStatus& result, TransferLock& lock);

  // The current data record (its params, status and tracked files). Under the lock.
  const std::shared_ptr<StandardTransferData>& GetTransferData() const { return data_; }

 private:
  void CreateData(const TransferParams& params, const TransferBehavior& behavior);
  void BuildWorkflow();
  // Snapshot into result, release the lock, fire.
  void FireEvent(TransferStatus& result, TransferLock& lock, TransferEvent& event);
  bool CheckDestination(const std::string& folder) const;
  void DeleteTrackedFiles();
  void SetState(TransferState state);
  void SetError(TransferError error);
  // Sets a fatal error, releases the lock, terminates the workflow and fires the fatal
  // error event.
  void FailFatal(TransferLock& lock, const std::string& message, TransferError error);
  bool IsProgressComplete(TransferLock& lock);
  bool IsFinal() const;
  bool IsFatal() const;
  TransferStatus& InnerStatus() const;

  // Shared with the work interfaces, which lock it to learn whether the transfer is still
  // there: it must outlive the transfer.
  const std::shared_ptr<std::recursive_mutex> mutex_;
  TransferWorkflowFactory* workflowFactory_;
  std::shared_ptr<StandardTransferData> data_;
  std::shared_ptr<StandardTransferWorkInterface> workInterface_;
  std::shared_ptr<Workflow> workflow_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_STANDARD_TRANSFER_H_
