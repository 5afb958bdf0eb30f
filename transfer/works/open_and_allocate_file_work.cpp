#include "transfer/works/open_and_allocate_file_work.h"

#include <boost/property_tree/ptree.hpp>
#include <utility>

#include "storage/file_exception.h"
#include "storage/shared_file.h"
#include "storage/shared_file_factory.h"
#include "transfer/transfer_behavior.h"
#include "transfer/transfer_params.h"
#include "transfer/transfer_work_interface.h"
#include "transfer/works/transfer_shared_file_data.h"
#include "work/work_status.h"

namespace zarn {

std::shared_ptr<OpenAndAllocateFileWork> OpenAndAllocateFileWork::Create(
    std::shared_ptr<TransferWorkInterface> workInterface,
    std::shared_ptr<TransferSharedFileData> file) {
  return std::make_shared<OpenAndAllocateFileWork>(Token(), std::move(workInterface),
                                                   std::move(file));
}

OpenAndAllocateFileWork::OpenAndAllocateFileWork(
    Token, std::shared_ptr<TransferWorkInterface> workInterface,
    std::shared_ptr<TransferSharedFileData> file)
    : TransferWork(std::move(workInterface)), file_(std::move(file)) {
  RegisterCompleteObservers(*this, nullptr);
}

void OpenAndAllocateFileWork::Describe(boost::property_tree::ptree& tree) const {
  DescribeTransferWork(tree, "OpenAndAllocateFileWork", true, ParamsAccess::kInPlace);
  file_->Describe(tree);
}

void OpenAndAllocateFileWork::Reset() {
  SimpleWork::Reset();
  file_->sharedFile.reset();
}

WorkStatus OpenAndAllocateFileWork::ExecuteTask() {
  try {
    file_->sharedFile = OpenAndAllocate(true);
    return WorkStatus(WorkResult::Success);
  } catch (...) {
    return FileExceptionStatus();
  }
}

std::shared_ptr<SharedFile> OpenAndAllocateFileWork::OpenAndAllocate(bool retryAfterDelete) {
  TransferWorkInterface& wi = *GetWorkInterface();
  const std::string& folder = wi.GetParams().destPath;
  SharedFileFactory& factory = *wi.GetBehavior().sharedFileFactory;
  std::shared_ptr<SharedFile> file = factory.Create(
      folder, file_->filePath, SharedFileOpenMode::OpenAlways, 0, file_->fileSize - 1);
  if (file->Size() == file_->fileSize) return file;
  if (file->Allocate(file_->fileSize)) {
    if (factory.IsExecutable(folder, file_->filePath)) file->DenyExecute();
    return file;
  }
  file.reset();
  if (retryAfterDelete && factory.Delete(folder, file_->filePath)) {
    return OpenAndAllocate(false);
  }
  throw FileInUseException();
}

}  // namespace zarn
