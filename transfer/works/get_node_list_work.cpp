#include "transfer/works/get_node_list_work.h"

#include <boost/property_tree/ptree.hpp>
#include <utility>

#include "transfer/manifest/http_node_list_manifest_factory.h"
#include "transfer/manifest/node_list_manifest.h"
#include "transfer/transfer_behavior.h"
#include "transfer/transfer_params.h"
#include "transfer/transfer_work_interface.h"
#include "transfer/works/node_list_status_data.h"
#include "work/work_status.h"

namespace zarn {

std::shared_ptr<GetNodeListWork> GetNodeListWork::Create(
    std::shared_ptr<TransferWorkInterface> workInterface, std::shared_ptr<HttpSession> session,
    uint32_t maxRetries) {
  return std::make_shared<GetNodeListWork>(Token(), std::move(workInterface), std::move(session),
                                           maxRetries);
}

GetNodeListWork::GetNodeListWork(Token, std::shared_ptr<TransferWorkInterface> workInterface,
                                 std::shared_ptr<HttpSession> session, uint32_t maxRetries)
    : TransferWork(std::move(workInterface)),
      LimitedRetrySimpleWork(maxRetries),
      session_(std::move(session)) {
  RegisterCompleteObservers(*this, GetWorkInterface()->GetNodeListAcquireCallback());
  RegisterRetryObserver(*this);
}

void GetNodeListWork::Describe(boost::property_tree::ptree& tree) const {
  DescribeTransferWork(tree, "GetNodeListWork", true, ParamsAccess::kCopy);
}

WorkStatus GetNodeListWork::ExecuteTask() {
  try {
    TransferWorkInterface& wi = *GetWorkInterface();
    const TransferParams params = wi.CopyParams();
    std::shared_ptr<NodeListManifest> nodeList =
        wi.GetBehavior().nodeListManifestFactory->GetNodeList(params.partnerId, session_);
    return WorkStatus(WorkResult::Success, NodeListStatusData::Create(std::move(nodeList)));
  } catch (...) {
    return ManifestExceptionStatus();
  }
}

}  // namespace zarn
