#include "transfer/works/transfer_work.h"

#include <boost/property_tree/ptree.hpp>
#include <exception>
#include <new>
#include <utility>

#include "storage/file_exception.h"
#include "telemetry/work_log_manager.h"
#include "transfer/manifest/manifest_exception.h"
#include "transfer/transfer_behavior.h"
#include "transfer/transfer_error_data.h"
#include "transfer/transfer_exception_data.h"
#include "transfer/transfer_file_exception_data.h"
#include "transfer/transfer_params.h"
#include "transfer/transfer_status.h"
#include "transfer/transfer_work_interface.h"
#include "work/simple_work.h"
#include "work/work.h"
#include "work/work_status.h"

namespace zarn {

TransferWork::TransferWork(std::shared_ptr<TransferWorkInterface> workInterface)
    : workInterface_(std::move(workInterface)) {}

TransferWork::~TransferWork() = default;

WorkCompleteCallback* TransferWork::LogCompleteCallback() const {
  return workInterface_->GetBehavior().logManager;
}

void TransferWork::RegisterCompleteObservers(Work& work,
                                             WorkCompleteCallback* transferObserver) const {
  if (transferObserver) work.AddCompleteCallback(transferObserver);
  if (WorkCompleteCallback* log = LogCompleteCallback()) work.AddCompleteCallback(log);
}

void TransferWork::RegisterRetryObserver(SimpleWork& work) const {
  if (WorkLogManager* log = workInterface_->GetBehavior().logManager) {
    work.AddRetryCallback(log);
  }
}

void TransferWork::DescribeTransferWork(boost::property_tree::ptree& tree, const char* name,
                                        bool important, ParamsAccess access) const {
  tree.put("name", name);
  if (important) tree.put("important", "true");
  if (access == ParamsAccess::kCopy) {
    workInterface_->CopyParams().Describe(tree);
  } else {
    workInterface_->GetParams().Describe(tree);
  }
}

WorkStatus MissingPreconditionStatus(const char* message) {
  return WorkStatus(WorkResult::Error, MakeTransferErrorData(TransferError::Internal, message));
}

WorkStatus ManifestExceptionStatus() {
  const std::exception_ptr current = std::current_exception();
  try {
    throw;
  } catch (const ManifestStreamException&) {
    return WorkStatus(WorkResult::RetryableError,
                      MakeTransferExceptionData(TransferError::Network, current));
  } catch (const ManifestException&) {
    return WorkStatus(WorkResult::Error,
                      MakeTransferExceptionData(TransferError::Manifest, current));
  } catch (...) {
    return RequestExceptionStatus();
  }
}

WorkStatus FileExceptionStatus() {
  const auto payload = MakeTransferFileExceptionData(std::current_exception());
  return WorkStatus(payload->IsRetryable() ? WorkResult::RetryableError : WorkResult::Error,
                    payload);
}

WorkStatus RequestExceptionStatus() {
  const std::exception_ptr current = std::current_exception();
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return WorkStatus(WorkResult::Error,
                      MakeTransferExceptionData(TransferError::OutOfMemory, current));
  } catch (...) {
    return WorkStatus(WorkResult::Error,
                      MakeTransferExceptionData(TransferError::Internal, current));
  }
}

WorkStatus InternalExceptionStatus() {
  return WorkStatus(WorkResult::Error,
                    MakeTransferExceptionData(TransferError::Internal, std::current_exception()));
}

}  // namespace zarn
