#include "transfer/works/initialize_transfer_work.h"

#include <boost/property_tree/ptree.hpp>
#include <utility>

#include "transfer/transfer_work_interface.h"
#include "transfer/works/construct_transfer_from_package_work.h"
#include "transfer/works/get_manifests_work.h"
#include "work/deferred_work.h"

namespace zarn {

std::shared_ptr<InitializeTransferWork> InitializeTransferWork::Create(
    std::shared_ptr<TransferWorkInterface> workInterface, std::shared_ptr<HttpSession> session,
    std::shared_ptr<DeferredWork> deferred) {
  return std::make_shared<InitializeTransferWork>(Token(), std::move(workInterface),
                                                  std::move(session), std::move(deferred));
}

InitializeTransferWork::InitializeTransferWork(Token,
                                               std::shared_ptr<TransferWorkInterface> workInterface,
                                               std::shared_ptr<HttpSession> session,
                                               std::shared_ptr<DeferredWork> deferred)
    : TransferWork(std::move(workInterface)) {
  const std::shared_ptr<TransferWorkInterface>& wi = GetWorkInterface();
  AddChild(GetManifestsWork::Create(wi, session));
  AddChild(ConstructTransferFromPackageWork::Create(wi, session, std::move(deferred)));
  RegisterCompleteObservers(*this, wi->GetInitializeCallback());
}

void InitializeTransferWork::Describe(boost::property_tree::ptree& tree) const {
  DescribeTransferWork(tree, "InitializeTransferWork", false, ParamsAccess::kCopy);
}

}  // namespace zarn
