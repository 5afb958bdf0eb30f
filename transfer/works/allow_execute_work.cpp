#include "transfer/works/allow_execute_work.h"

#include <boost/property_tree/ptree.hpp>
#include <cstdint>
#include <utility>

#include "storage/file_exception.h"
#include "storage/shared_file.h"
#include "storage/shared_file_factory.h"
#include "transfer/manifest/file_manifest.h"
#include "transfer/manifest/package_manifest.h"
#include "transfer/transfer_behavior.h"
#include "transfer/transfer_params.h"
#include "transfer/transfer_work_interface.h"
#include "work/work_status.h"

namespace zarn {

std::shared_ptr<AllowExecuteWork> AllowExecuteWork::Create(
    std::shared_ptr<TransferWorkInterface> workInterface) {
  return std::make_shared<AllowExecuteWork>(Token(), std::move(workInterface));
}

AllowExecuteWork::AllowExecuteWork(Token, std::shared_ptr<TransferWorkInterface> workInterface)
    : TransferWork(std::move(workInterface)) {
  RegisterCompleteObservers(*this, nullptr);
}

void AllowExecuteWork::Describe(boost::property_tree::ptree& tree) const {
  DescribeTransferWork(tree, "AllowExecuteWork", true, ParamsAccess::kInPlace);
}

WorkStatus AllowExecuteWork::ExecuteTask() {
  try {
    TransferWorkInterface& wi = *GetWorkInterface();
    const std::shared_ptr<PackageManifest> package = wi.GetPackage();
    if (!package) return MissingPreconditionStatus("AllowExecuteWork::ExecuteTask has no package");
    const std::string& folder = wi.GetParams().destPath;
    SharedFileFactory& factory = *wi.GetBehavior().sharedFileFactory;
    for (const auto& file : package->GetFiles()) {
      if (!factory.IsExecutable(folder, file->GetPath())) continue;
      const std::shared_ptr<SharedFile> opened =
          factory.Create(folder, file->GetPath(), SharedFileOpenMode::OpenExisting, 0, UINT64_MAX);
      if (!opened->AllowExecute()) throw FileInUseException();
    }
    return WorkStatus(WorkResult::Success);
  } catch (...) {
    return FileExceptionStatus();
  }
}

}  // namespace zarn
