#include "transfer/works/close_file_work.h"

#include <boost/property_tree/ptree.hpp>
#include <utility>

#include "storage/file_exception.h"
#include "storage/shared_file.h"
#include "transfer/works/transfer_shared_file_data.h"
#include "work/work_status.h"

namespace zarn {

std::shared_ptr<CloseFileWork> CloseFileWork::Create(
    std::shared_ptr<TransferWorkInterface> workInterface,
    std::shared_ptr<TransferSharedFileData> file) {
  return std::make_shared<CloseFileWork>(Token(), std::move(workInterface), std::move(file));
}

CloseFileWork::CloseFileWork(Token, std::shared_ptr<TransferWorkInterface> workInterface,
                             std::shared_ptr<TransferSharedFileData> file)
    : TransferWork(std::move(workInterface)), file_(std::move(file)) {
  RegisterCompleteObservers(*this, nullptr);
}

void CloseFileWork::Describe(boost::property_tree::ptree& tree) const {
  DescribeTransferWork(tree, "CloseFileWork", false, ParamsAccess::kInPlace);
  file_->Describe(tree);
}

WorkStatus CloseFileWork::ExecuteTask() {
  try {
    const std::shared_ptr<SharedFile>& file = file_->sharedFile;
    // Another process may have deleted the file, put another in its place or changed its
    // length while the chunks were written: what they verified is then not at the path.
    // The file stays open: a retry checks the same descriptor again, so only a new run,
    // which opens the file at its path, repairs it.
    if (file && (!file->IsAtPath() || file->Size() != file_->fileSize)) {
      throw FileInUseException();
    }
    file_->sharedFile.reset();
    return WorkStatus(WorkResult::Success);
  } catch (...) {
    return FileExceptionStatus();
  }
}

}  // namespace zarn
