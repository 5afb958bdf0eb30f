#include "transfer/works/transfer_package_work.h"

#include <boost/property_tree/ptree.hpp>
#include <utility>

#include "http/http_session_factory.h"
#include "transfer/transfer_behavior.h"
#include "transfer/transfer_work_interface.h"
#include "transfer/works/allow_execute_work.h"
#include "transfer/works/initialize_transfer_work.h"
#include "work/deferred_work.h"

namespace zarn {

std::shared_ptr<TransferPackageWork> TransferPackageWork::Create(
    std::shared_ptr<TransferWorkInterface> workInterface) {
  return std::make_shared<TransferPackageWork>(Token(), std::move(workInterface));
}

TransferPackageWork::TransferPackageWork(Token,
                                         std::shared_ptr<TransferWorkInterface> workInterface)
    : TransferWork(std::move(workInterface)) {
  const std::shared_ptr<TransferWorkInterface>& wi = GetWorkInterface();
  const std::shared_ptr<DeferredWork> deferred = DeferredWork::Create(LogCompleteCallback());
  const std::shared_ptr<HttpSession> session = wi->GetBehavior().sessionFactory->Create();
  AddChild(InitializeTransferWork::Create(wi, session, deferred));
  AddChild(deferred);
  AddChild(AllowExecuteWork::Create(wi));
  RegisterCompleteObservers(*this, wi->GetWorkCompleteCallback());
}

void TransferPackageWork::Describe(boost::property_tree::ptree& tree) const {
  DescribeTransferWork(tree, "TransferPackageWork", true, ParamsAccess::kCopy);
}

}  // namespace zarn
