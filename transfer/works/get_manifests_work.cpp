#include "transfer/works/get_manifests_work.h"

#include <boost/property_tree/ptree.hpp>
#include <utility>

#include "transfer/transfer_behavior.h"
#include "transfer/transfer_work_interface.h"
#include "transfer/works/get_node_list_work.h"
#include "transfer/works/get_package_manifest_work.h"

namespace zarn {

std::shared_ptr<GetManifestsWork> GetManifestsWork::Create(
    std::shared_ptr<TransferWorkInterface> workInterface, std::shared_ptr<HttpSession> session) {
  return std::make_shared<GetManifestsWork>(Token(), std::move(workInterface), std::move(session));
}

GetManifestsWork::GetManifestsWork(Token, std::shared_ptr<TransferWorkInterface> workInterface,
                                   std::shared_ptr<HttpSession> session)
    : TransferWork(std::move(workInterface)) {
  RegisterCompleteObservers(*this, nullptr);
  const std::shared_ptr<TransferWorkInterface>& wi = GetWorkInterface();
  const uint32_t limit = wi->GetBehavior().config.manifestRetryLimit;
  AddChild(GetPackageManifestWork::Create(wi, session, limit));
  AddChild(GetNodeListWork::Create(wi, session, limit));
}

void GetManifestsWork::Describe(boost::property_tree::ptree& tree) const {
  DescribeTransferWork(tree, "GetManifestsWork", false, ParamsAccess::kCopy);
}

}  // namespace zarn
