#include "transfer/works/conditional_transfer_chunk_work.h"

#include <boost/property_tree/ptree.hpp>
#include <utility>

#include "transfer/transfer_behavior.h"
#include "transfer/transfer_work_interface.h"
#include "transfer/works/retryable_transfer_chunk_work.h"
#include "transfer/works/transfer_shared_map_data.h"
#include "transfer/works/verify_chunk_work.h"
#include "work/no_op_work.h"

namespace zarn {

std::shared_ptr<ConditionalTransferChunkWork> ConditionalTransferChunkWork::Create(
    std::shared_ptr<TransferWorkInterface> workInterface, std::shared_ptr<HttpSession> session,
    std::shared_ptr<TransferSharedMapData> map) {
  return std::make_shared<ConditionalTransferChunkWork>(Token(), std::move(workInterface),
                                                        std::move(session), std::move(map));
}

ConditionalTransferChunkWork::ConditionalTransferChunkWork(
    Token, std::shared_ptr<TransferWorkInterface> workInterface,
    std::shared_ptr<HttpSession> session, std::shared_ptr<TransferSharedMapData> map)
    : TransferWork(std::move(workInterface)), map_(std::move(map)) {
  RegisterCompleteObservers(*this, nullptr);
  const std::shared_ptr<TransferWorkInterface>& wi = GetWorkInterface();
  SetCondition(VerifyChunkWork::Create(wi, map_));
  WorkCompleteCallback* log = LogCompleteCallback();
  SetSuccessWork(log ? NoOpWork::Create(log) : NoOpWork::Create());
  SetFailureWork(RetryableTransferChunkWork::Create(wi, std::move(session), map_,
                                                    wi->GetBehavior().config.chunkRetryLimit));
}

void ConditionalTransferChunkWork::Describe(boost::property_tree::ptree& tree) const {
  DescribeTransferWork(tree, "ConditionalTransferChunkWork", false, ParamsAccess::kInPlace);
  map_->Describe(tree);
}

}  // namespace zarn
