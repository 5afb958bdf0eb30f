#include "transfer/works/close_file_work.h"

#include <boost/property_tree/ptree.hpp>
#include <utility>

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
  file_->sharedFile.reset();
  return WorkStatus(WorkResult::Success);
}

}  // namespace zarn
