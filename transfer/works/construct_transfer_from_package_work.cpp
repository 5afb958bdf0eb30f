#include "transfer/works/construct_transfer_from_package_work.h"

#include <boost/property_tree/ptree.hpp>
#include <utility>

#include "transfer/works/transfer_multiple_files_work.h"
#include "work/deferred_work.h"
#include "work/work_status.h"

namespace zarn {

std::shared_ptr<ConstructTransferFromPackageWork> ConstructTransferFromPackageWork::Create(
    std::shared_ptr<TransferWorkInterface> workInterface, std::shared_ptr<HttpSession> session,
    std::shared_ptr<DeferredWork> deferred) {
  return std::make_shared<ConstructTransferFromPackageWork>(
      Token(), std::move(workInterface), std::move(session), std::move(deferred));
}

ConstructTransferFromPackageWork::ConstructTransferFromPackageWork(
    Token, std::shared_ptr<TransferWorkInterface> workInterface,
    std::shared_ptr<HttpSession> session, std::shared_ptr<DeferredWork> deferred)
    : TransferWork(std::move(workInterface)),
      session_(std::move(session)),
      deferred_(std::move(deferred)) {
  RegisterCompleteObservers(*this, nullptr);
}

void ConstructTransferFromPackageWork::Describe(boost::property_tree::ptree& tree) const {
  DescribeTransferWork(tree, "ConstructTransferFromPackageWork", false, ParamsAccess::kInPlace);
}

WorkStatus ConstructTransferFromPackageWork::ExecuteTask() {
  try {
    const auto files = TransferMultipleFilesWork::Create(GetWorkInterface(), session_);
    if (!deferred_->Assign(files)) {
      return MissingPreconditionStatus(
          "ConstructTransferFromPackageWork::ExecuteTask failed; DeferredWork already assigned");
    }
    return WorkStatus(WorkResult::Success);
  } catch (...) {
    return InternalExceptionStatus();
  }
}

}  // namespace zarn
