#include "transfer/standard_transfer.h"

#include <boost/property_tree/ptree.hpp>
#include <cstdint>
#include <limits>
#include <sstream>

#include "storage/path_helpers.h"
#include "storage/shared_file_factory.h"
#include "telemetry/compact_json_writer.h"
#include "transfer/disk_space.h"
#include "transfer/events/transfer_event.h"
#include "transfer/manifest/file_manifest.h"
#include "transfer/manifest/node_list_manifest.h"
#include "transfer/manifest/node_manifest.h"
#include "transfer/manifest/package_manifest.h"
#include "transfer/standard_transfer_data.h"
#include "transfer/standard_transfer_work_interface.h"
#include "transfer/transfer_error_data.h"
#include "transfer/transfer_params.h"
#include "transfer/transfer_status_data.h"
#include "transfer/transfer_status_impl.h"
#include "transfer/transfer_workflow_factory.h"
#include "transfer/works/node_list_status_data.h"
#include "transfer/works/package_status_data.h"
#include "work/work_status.h"
#include "work/workflow.h"
#include "work/workflow_retryable_error_callback.h"

namespace zarn {

namespace {

bool IsUnset(const std::string& text) { return text == UnsetText(); }

bool IsInitializingState(TransferState state) {
  return state == TransferState::Initializing || state == TransferState::InitializingPaused;
}

// Telemetry is fire-and-forget: a failure to queue an event never reaches the transfer.
void FireQuietly(TransferEvent& event) {
  try {
    event.Fire();
  } catch (...) {
  }
}

}  // namespace

StandardTransfer::StandardTransfer(const TransferParams& params, const TransferBehavior& behavior,
                                   TransferWorkflowFactory* workflowFactory)
    : mutex_(std::make_shared<std::recursive_mutex>()), workflowFactory_(workflowFactory) {
  CreateData(params, behavior);
  try {
    BuildWorkflow();
  } catch (...) {
    // Without a workflow the transfer can never run: say so instead of waiting forever.
    InnerStatus().error = TransferError::Internal;
    InnerStatus().retryable = 0;
  }
  if (params.suspended) InnerStatus().state = TransferState::Suspended;
}

StandardTransfer::~StandardTransfer() {
  // First: no report may reach this object from here on, neither from the tree while it
  // goes nor from works that outlive it.
  if (workInterface_) workInterface_->Detach();
  std::shared_ptr<Workflow> workflow = std::move(workflow_);
  workflow.reset();
}

// Public operations: the lock for the whole call; events fire after it is released.

TransferStatus StandardTransfer::Initialize() {
  TransferStatus result;
  TransferLock lock(*mutex_);
  InitializeLocked(result, lock);
  return result;
}

TransferStatus StandardTransfer::Start(const std::string& folder) {
  TransferStatus result;
  TransferLock lock(*mutex_);
  StartLocked(result, lock, folder);
  return result;
}

TransferStatus StandardTransfer::GetStatus() {
  TransferStatus result;
  TransferLock lock(*mutex_);
  const uint32_t interval = data_->behavior.config.periodicEventInterval * 1000u;
  if (data_->status->GetActiveTime().PeekDelta() > interval) {
    TransferPeriodicEvent event(workInterface_, *data_->status);
    FireEvent(result, lock, event);
  } else {
    GetStatusLocked(result, lock);
  }
  return result;
}

TransferStatus StandardTransfer::Cancel(bool deleteFiles) {
  TransferStatus result;
  TransferLock lock(*mutex_);
  CancelLocked(result, lock, deleteFiles);
  return result;
}

TransferStatus StandardTransfer::Pause() {
  TransferStatus result;
  TransferLock lock(*mutex_);
  PauseLocked(result, lock);
  return result;
}

TransferStatus StandardTransfer::Resume() {
  TransferStatus result;
  TransferLock lock(*mutex_);
  ResumeLocked(result, lock);
  return result;
}

TransferStatus StandardTransfer::Retry() {
  TransferStatus result;
  TransferLock lock(*mutex_);
  RetryLocked(result, lock);
  return result;
}

TransferStatus StandardTransfer::Suspend() {
  TransferStatus result;
  TransferLock lock(*mutex_);
  SuspendLocked(result, lock);
  return result;
}

TransferStatus StandardTransfer::Restore() {
  TransferStatus result;
  TransferLock lock(*mutex_);
  RestoreLocked(result, lock);
  return result;
}

bool StandardTransfer::HasEnoughDiskSpace(const std::string& folder) {
  std::lock_guard<std::recursive_mutex> lock(*mutex_);
  if (InnerStatus().state != TransferState::Initialized || !data_->package) return false;
  try {
    uint64_t available = GetFreeSpace(folder);
    for (const std::shared_ptr<FileManifest>& file : data_->package->GetFiles()) {
      const uint64_t present = GetFileSizeOnDisk(ResolvePath(folder, file->GetPath()));
      available = present > std::numeric_limits<uint64_t>::max() - available
                      ? std::numeric_limits<uint64_t>::max()
                      : available + present;
    }
    return available >= data_->status->GetSnapshot().totalBytes;
  } catch (...) {
    return false;
  }
}

std::shared_ptr<TransferWorkInterface> StandardTransfer::GetData() {
  std::lock_guard<std::recursive_mutex> lock(*mutex_);
  return workInterface_;
}

std::string StandardTransfer::DescribeNodes() {
  std::shared_ptr<NodeListManifest> nodeList;
  {
    std::lock_guard<std::recursive_mutex> lock(*mutex_);
    nodeList = data_->nodeList;
  }
  if (!nodeList || nodeList->GetNodes().empty()) return "[]";
  try {
    boost::property_tree::ptree array;
    for (const std::shared_ptr<NodeManifest>& node : nodeList->GetNodes()) {
      node->Write(array.push_back({"", boost::property_tree::ptree()})->second);
    }
    std::ostringstream out;
    WriteCompactJson(out, array);
    return out.str();
  } catch (...) {
    return "[]";
  }
}

// The operations with the lock held.

void StandardTransfer::GetStatusLocked(TransferStatus& result, TransferLock&) {
  result = data_->status->GetSnapshot();
}

void StandardTransfer::InitializeLocked(TransferStatus& result, TransferLock& lock) {
  if (InnerStatus().state != TransferState::Initializing ||
      InnerStatus().error != TransferError::None || !workflow_) {
    return GetStatusLocked(result, lock);
  }
  bool started = false;
  try {
    started = workflow_->Start();
  } catch (...) {
    FailFatal(lock, "Transfer::Initialize could not start the workflow", TransferError::Internal);
    lock.lock();
    return GetStatusLocked(result, lock);
  }
  if (!started) return GetStatusLocked(result, lock);
  TransferInitializeEvent event(workInterface_);
  FireEvent(result, lock, event);
}

void StandardTransfer::StartLocked(TransferStatus& result, TransferLock& lock,
                                   const std::string& folder) {
  if (!CheckDestination(folder) || InnerStatus().state != TransferState::Initialized ||
      InnerStatus().error != TransferError::None || !workflow_) {
    return GetStatusLocked(result, lock);
  }
  if (IsUnset(data_->params.destPath)) data_->params.destPath = folder;
  InnerStatus().state = TransferState::Transferring;
  workflow_->Resume();
  TransferStartEvent event(workInterface_);
  FireEvent(result, lock, event);
}

void StandardTransfer::CancelLocked(TransferStatus& result, TransferLock& lock, bool deleteFiles) {
  const bool suspendedWithoutError =
      InnerStatus().state == TransferState::Suspended && InnerStatus().error == TransferError::None;
  if (deleteFiles && !suspendedWithoutError) {
    data_->deleteFilesOnCancel = 1;
    DeleteTrackedFiles();
  }
  if (IsFinal() || IsFatal()) return GetStatusLocked(result, lock);
  SetState(TransferState::Canceled);
  TransferCancelEvent event(workInterface_, *data_->status);
  FireEvent(result, lock, event);
}

void StandardTransfer::PauseLocked(TransferStatus& result, TransferLock& lock) {
  const TransferState state = InnerStatus().state;
  if ((state != TransferState::Initializing && state != TransferState::Transferring) ||
      !workflow_ || !workflow_->Pause()) {
    return GetStatusLocked(result, lock);
  }
  InnerStatus().state = state == TransferState::Initializing ? TransferState::InitializingPaused
                                                             : TransferState::Paused;
  TransferPauseEvent event(workInterface_);
  FireEvent(result, lock, event);
}

void StandardTransfer::ResumeLocked(TransferStatus& result, TransferLock& lock) {
  const TransferState state = InnerStatus().state;
  if ((state != TransferState::InitializingPaused && state != TransferState::Paused) ||
      !workflow_ || !workflow_->Resume()) {
    return GetStatusLocked(result, lock);
  }
  InnerStatus().state = state == TransferState::InitializingPaused ? TransferState::Initializing
                                                                   : TransferState::Transferring;
  TransferResumeEvent event(workInterface_);
  FireEvent(result, lock, event);
}

void StandardTransfer::RetryLocked(TransferStatus& result, TransferLock& lock) {
  if (InnerStatus().error == TransferError::None || !InnerStatus().retryable || !workflow_ ||
      !workflow_->Retry()) {
    return GetStatusLocked(result, lock);
  }
  InnerStatus().error = TransferError::None;
  InnerStatus().retryable = 0;
  TransferRetryEvent event(workInterface_);
  FireEvent(result, lock, event);
}

void StandardTransfer::SuspendLocked(TransferStatus& result, TransferLock& lock) {
  const TransferState state = InnerStatus().state;
  const bool initializing = IsInitializingState(state) || state == TransferState::Initialized;
  if (!data_->params.suspended && initializing) return CancelLocked(result, lock, false);
  const bool completed =
      state == TransferState::Completed && InnerStatus().error == TransferError::None;
  if ((IsFinal() || IsFatal()) && !completed) return GetStatusLocked(result, lock);

  std::shared_ptr<TransferWorkInterface> oldInterface = workInterface_;
  std::shared_ptr<StandardTransferData> oldData = data_;
  CreateData(oldData->params, oldData->behavior);
  data_->params.suspended = 1;
  SetState(TransferState::Suspended);
  if (completed) return GetStatusLocked(result, lock);
  TransferSuspendEvent event(oldInterface, *oldData->status);
  FireEvent(result, lock, event);
}

void StandardTransfer::RestoreLocked(TransferStatus& result, TransferLock& lock) {
  if (InnerStatus().state != TransferState::Suspended ||
      InnerStatus().error != TransferError::None) {
    return GetStatusLocked(result, lock);
  }
  try {
    BuildWorkflow();
    if (workflow_) workflow_->Start();
  } catch (...) {
    FailFatal(lock, "Transfer::Restore could not start the workflow", TransferError::Internal);
    lock.lock();
    return GetStatusLocked(result, lock);
  }
  InnerStatus().state = TransferState::Initializing;
  TransferRestoreEvent event(workInterface_);
  FireEvent(result, lock, event);
}

// Handlers.

void StandardTransfer::OnWorkComplete(TransferLock& lock, const std::shared_ptr<const Work>&,
                                      const WorkStatus& status) {
  if (IsFinal() || IsFatal()) return;
  if (status.result == WorkResult::Cancelled || status.result == WorkResult::RetryableError) {
    return;
  }
  if (status.result == WorkResult::Success) {
    if (!IsProgressComplete(lock)) {
      return FailFatal(lock,
                       "Transfer::OnWorkComplete called with Success result but progress is "
                       "not complete",
                       TransferError::Internal);
    }
    SetState(TransferState::Completed);
    TransferCompleteEvent event(workInterface_, *data_->status);
    lock.unlock();
    return FireQuietly(event);
  }
  auto payload = std::dynamic_pointer_cast<TransferStatusData>(status.data);
  if (!payload) {
    return FailFatal(lock,
                     "Transfer::OnWorkComplete called with error result but data is not "
                     "TransferStatusData",
                     TransferError::Internal);
  }
  const TransferError error = payload->ToTransferError();
  if (error == TransferError::None) {
    return FailFatal(lock,
                     "Transfer::OnWorkComplete called with error result but "
                     "data->ToTransferError() is None",
                     TransferError::Internal);
  }
  SetError(error);
  TransferFatalErrorEvent event(workInterface_, *data_->status, payload);
  lock.unlock();
  FireQuietly(event);
}

void StandardTransfer::OnPackageAcquire(TransferLock& lock, const std::shared_ptr<const Work>&,
                                        const WorkStatus& status) {
  if (IsFinal() || IsFatal() || status.result != WorkResult::Success) return;
  if (!IsInitializingState(InnerStatus().state)) {
    return FailFatal(lock, "Transfer::OnPackageAcquire called but transfer is not initializing",
                     TransferError::Internal);
  }
  auto payload = std::dynamic_pointer_cast<PackageStatusData>(status.data);
  if (!payload || !payload->package) {
    return FailFatal(lock,
                     "Transfer::OnPackageAcquire called but data is not PackageStatusData or "
                     "package is null",
                     TransferError::Internal);
  }
  const std::shared_ptr<PackageManifest>& package = payload->package;
  if (package->GetPartnerId() != data_->params.partnerId ||
      package->GetId() != data_->params.packageId) {
    return FailFatal(lock, "Transfer::OnPackageAcquire called but package does not match ids",
                     TransferError::Manifest);
  }
  data_->package = package;
  data_->params.versionId = package->GetVersionId();
}

void StandardTransfer::OnNodeListAcquire(TransferLock& lock, const std::shared_ptr<const Work>&,
                                         const WorkStatus& status) {
  if (IsFinal() || IsFatal() || status.result != WorkResult::Success) return;
  if (!IsInitializingState(InnerStatus().state)) {
    return FailFatal(lock, "Transfer::OnNodeListAcquire called but transfer is not initializing",
                     TransferError::Internal);
  }
  auto payload = std::dynamic_pointer_cast<NodeListStatusData>(status.data);
  if (!payload || !payload->nodeList) {
    return FailFatal(lock,
                     "Transfer::OnNodeListAcquire called but data is not NodeListStatusData or "
                     "nodelist is null",
                     TransferError::Internal);
  }
  data_->nodeList = payload->nodeList;
}

void StandardTransfer::OnInitialize(TransferLock& lock, const std::shared_ptr<const Work>&,
                                    const WorkStatus& status) {
  if (IsFinal() || IsFatal() || status.result != WorkResult::Success) return;
  if (!IsInitializingState(InnerStatus().state)) {
    return FailFatal(lock, "Transfer::OnInitialize called but transfer is not initializing",
                     TransferError::Internal);
  }
  if (!data_->package) {
    return FailFatal(lock, "Transfer::OnInitialize called but package is missing",
                     TransferError::Internal);
  }
  if (!data_->nodeList) {
    return FailFatal(lock, "Transfer::OnInitialize called but nodelist is missing",
                     TransferError::Internal);
  }
  InnerStatus().state = TransferState::Initialized;
  data_->status->SetPackage(data_->package);
  if (workflow_) workflow_->Pause();
  TransferInitializeCompleteEvent event(workInterface_);
  lock.unlock();
  FireQuietly(event);
}

void StandardTransfer::OnWorkflowRetryableError(TransferLock& lock,
                                                const std::shared_ptr<Workflow>& workflow,
                                                const std::shared_ptr<const Work>&,
                                                const WorkStatus& status) {
  if (IsFinal() || IsFatal() || InnerStatus().error != TransferError::None) return;
  if (workflow != workflow_) {
    return FailFatal(lock, "Transfer::OnWorkflowRetryableError called on wrong workflow",
                     TransferError::Internal);
  }
  if (status.result != WorkResult::RetryableError || status.retry) {
    return FailFatal(lock, "Transfer::OnWorkflowRetryableError called with incorrect status",
                     TransferError::Internal);
  }
  auto payload = std::dynamic_pointer_cast<TransferStatusData>(status.data);
  if (!payload) {
    return FailFatal(lock, "Transfer::OnWorkflowRetryableError called with invalid data",
                     TransferError::Internal);
  }
  const TransferError error = payload->ToTransferError();
  if (error == TransferError::None) {
    return FailFatal(lock, "Transfer::OnWorkflowRetryableError called with TransferError::None",
                     TransferError::Internal);
  }
  InnerStatus().error = error;
  InnerStatus().retryable = 1;
  TransferRetryableErrorEvent event(workInterface_, *data_->status, payload);
  lock.unlock();
  FireQuietly(event);
}

void StandardTransfer::TrackFile(TransferLock&, const std::string& name) {
  if (!data_->deleteFilesOnCancel) {
    data_->trackedFiles.insert(name);
    return;
  }
  // Before Start there is no destination: "?" is an ordinary folder name here, and files
  // would be looked for below "./?/".
  if (!IsUnset(data_->params.destPath)) {
    data_->behavior.sharedFileFactory->Delete(data_->params.destPath, name);
  }
}

// Helpers.

void StandardTransfer::CreateData(const TransferParams& params, const TransferBehavior& behavior) {
  if (workInterface_) workInterface_->Detach();
  data_ = std::make_shared<StandardTransferData>(params, behavior);
  workInterface_ = std::make_shared<StandardTransferWorkInterface>(this, mutex_, data_);
}

void StandardTransfer::BuildWorkflow() {
  if (workflow_) return;
  workflow_ = workflowFactory_->CreateWorkflow(workInterface_);
  if (workflow_) workflow_->AddRetryableErrorCallback(workInterface_->GetRetryableErrorCallback());
}

void StandardTransfer::FireEvent(TransferStatus& result, TransferLock& lock, TransferEvent& event) {
  GetStatusLocked(result, lock);
  lock.unlock();
  FireQuietly(event);
}

bool StandardTransfer::CheckDestination(const std::string& folder) const {
  const std::string& stored = data_->params.destPath;
  if (IsUnset(stored)) return !IsUnset(folder);
  return IsUnset(folder) || folder == stored;
}

void StandardTransfer::DeleteTrackedFiles() {
  if (!IsUnset(data_->params.destPath)) {
    for (const std::string& name : data_->trackedFiles) {
      data_->behavior.sharedFileFactory->Delete(data_->params.destPath, name);
    }
  }
  data_->trackedFiles.clear();
}

void StandardTransfer::SetState(TransferState state) {
  InnerStatus().state = state;
  if (std::shared_ptr<Workflow> workflow = std::move(workflow_)) workflow->Pause();
}

void StandardTransfer::SetError(TransferError error) {
  InnerStatus().error = error;
  InnerStatus().retryable = 0;
  if (std::shared_ptr<Workflow> workflow = std::move(workflow_)) workflow->Pause();
}

void StandardTransfer::FailFatal(TransferLock& lock, const std::string& message,
                                 TransferError error) {
  InnerStatus().error = error;
  InnerStatus().retryable = 0;
  std::shared_ptr<TransferErrorData> payload = MakeTransferErrorData(error, message);
  TransferFatalErrorEvent event(workInterface_, *data_->status, payload);
  // Taken out under the lock: once the lock is released no other operation may see it.
  std::shared_ptr<Workflow> workflow = std::move(workflow_);
  lock.unlock();
  if (workflow) {
    try {
      workflow->Terminate(WorkStatus(WorkResult::Error, payload));
    } catch (...) {
    }
    workflow.reset();
  }
  FireQuietly(event);
}

bool StandardTransfer::IsProgressComplete(TransferLock& lock) {
  TransferStatus snapshot;
  GetStatusLocked(snapshot, lock);
  return data_->package &&
         (snapshot.state == TransferState::Transferring ||
          snapshot.state == TransferState::Paused) &&
         snapshot.error == TransferError::None &&
         snapshot.completedBytes == snapshot.verifiedBytes &&
         snapshot.completedBytes == snapshot.totalBytes &&
         snapshot.totalBytes == GetPackageTotalSize(*data_->package);
}

bool StandardTransfer::IsFinal() const {
  const TransferState state = InnerStatus().state;
  return state == TransferState::None || state == TransferState::Suspended ||
         state == TransferState::Completed || state == TransferState::Canceled;
}

bool StandardTransfer::IsFatal() const {
  return InnerStatus().error != TransferError::None && !InnerStatus().retryable;
}

TransferStatus& StandardTransfer::InnerStatus() const { return data_->status->GetStatus(); }

}  // namespace zarn
