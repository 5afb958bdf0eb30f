#include "transfer/works/get_package_manifest_work.h"

#include <boost/property_tree/ptree.hpp>
#include <utility>

#include "transfer/manifest/http_package_manifest_factory.h"
#include "transfer/manifest/manifest_key.h"
#include "transfer/manifest/package_manifest.h"
#include "transfer/transfer_behavior.h"
#include "transfer/transfer_params.h"
#include "transfer/transfer_work_interface.h"
#include "transfer/works/package_status_data.h"
#include "work/work_status.h"

namespace zarn {

std::shared_ptr<GetPackageManifestWork> GetPackageManifestWork::Create(
    std::shared_ptr<TransferWorkInterface> workInterface, std::shared_ptr<HttpSession> session,
    uint32_t maxRetries) {
  return std::make_shared<GetPackageManifestWork>(Token(), std::move(workInterface),
                                                  std::move(session), maxRetries);
}

GetPackageManifestWork::GetPackageManifestWork(Token,
                                               std::shared_ptr<TransferWorkInterface> workInterface,
                                               std::shared_ptr<HttpSession> session,
                                               uint32_t maxRetries)
    : TransferWork(std::move(workInterface)),
      LimitedRetrySimpleWork(maxRetries),
      session_(std::move(session)) {
  RegisterCompleteObservers(*this, GetWorkInterface()->GetPackageAcquireCallback());
  RegisterRetryObserver(*this);
}

void GetPackageManifestWork::Describe(boost::property_tree::ptree& tree) const {
  DescribeTransferWork(tree, "GetPackageManifestWork", true, ParamsAccess::kCopy);
}

WorkStatus GetPackageManifestWork::ExecuteTask() {
  try {
    TransferWorkInterface& wi = *GetWorkInterface();
    const TransferParams params = wi.CopyParams();
    const std::string version = params.versionId == UnsetText() ? std::string() : params.versionId;
    const std::string id = AppendPathSegment(params.packageId, version);
    std::shared_ptr<PackageManifest> package =
        wi.GetBehavior().packageManifestFactory->GetPackageManifest(id, session_);
    return WorkStatus(WorkResult::Success, PackageStatusData::Create(std::move(package)));
  } catch (...) {
    return ManifestExceptionStatus();
  }
}

}  // namespace zarn
