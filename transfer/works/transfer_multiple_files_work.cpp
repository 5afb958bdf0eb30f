#include "transfer/works/transfer_multiple_files_work.h"

#include <boost/property_tree/ptree.hpp>
#include <stdexcept>
#include <utility>

#include "transfer/manifest/package_manifest.h"
#include "transfer/transfer_work_interface.h"
#include "transfer/works/parallel_transfer_multiple_files_work.h"
#include "transfer/works/sequential_transfer_multiple_files_work.h"

namespace zarn {

std::shared_ptr<TransferMultipleFilesWork> TransferMultipleFilesWork::Create(
    std::shared_ptr<TransferWorkInterface> workInterface, std::shared_ptr<HttpSession> session) {
  return std::make_shared<TransferMultipleFilesWork>(Token(), std::move(workInterface),
                                                     std::move(session));
}

TransferMultipleFilesWork::TransferMultipleFilesWork(
    Token, std::shared_ptr<TransferWorkInterface> workInterface,
    std::shared_ptr<HttpSession> session)
    : TransferWork(std::move(workInterface)) {
  RegisterCompleteObservers(*this, nullptr);
  const std::shared_ptr<TransferWorkInterface>& wi = GetWorkInterface();
  const std::shared_ptr<PackageManifest> package = wi->GetPackage();
  if (!package) throw std::logic_error("TransferMultipleFilesWork constructed without package");
  if (package->GetRunFiles().empty() && package->GetOtherFiles().empty()) {
    throw std::logic_error("TransferMultipleFilesWork constructed with empty file set");
  }
  if (!package->GetRunFiles().empty()) {
    AddChild(SequentialTransferMultipleFilesWork::Create(wi, session, package->GetRunFiles()));
  }
  if (!package->GetOtherFiles().empty()) {
    AddChild(ParallelTransferMultipleFilesWork::Create(wi, session, package->GetOtherFiles()));
  }
}

void TransferMultipleFilesWork::Describe(boost::property_tree::ptree& tree) const {
  DescribeTransferWork(tree, "TransferMultipleFilesWork", false, ParamsAccess::kInPlace);
}

}  // namespace zarn
