#include "transfer/works/retryable_transfer_chunk_work.h"

#include <algorithm>
#include <boost/property_tree/ptree.hpp>
#include <stdexcept>
#include <utility>

#include "transfer/manifest/node_list_manifest.h"
#include "transfer/transfer_behavior.h"
#include "transfer/transfer_work_interface.h"
#include "transfer/works/optimized_request_chunk_work.h"
#include "transfer/works/transfer_shared_map_data.h"
#include "transfer/works/verify_chunk_work.h"

namespace zarn {
namespace {

uint32_t RequestLimit(TransferWorkInterface& workInterface) {
  const std::shared_ptr<NodeListManifest> nodeList = workInterface.GetNodeList();
  if (!nodeList) throw std::logic_error("RetryableTransferChunkWork constructed without nodelist");
  return RetryableTransferChunkWork::RequestLimitFor(
      static_cast<uint32_t>(nodeList->GetNodes().size()),
      workInterface.GetBehavior().config.chunkRequestRetryLimit);
}

}  // namespace

std::shared_ptr<RetryableTransferChunkWork> RetryableTransferChunkWork::Create(
    std::shared_ptr<TransferWorkInterface> workInterface, std::shared_ptr<HttpSession> session,
    std::shared_ptr<TransferSharedMapData> map, uint32_t maxRetries) {
  return std::make_shared<RetryableTransferChunkWork>(
      Token(), std::move(workInterface), std::move(session), std::move(map), maxRetries);
}

RetryableTransferChunkWork::RetryableTransferChunkWork(
    Token, std::shared_ptr<TransferWorkInterface> workInterface,
    std::shared_ptr<HttpSession> session, std::shared_ptr<TransferSharedMapData> map,
    uint32_t maxRetries)
    : TransferWork(std::move(workInterface)),
      LimitedRetrySequentialWork(maxRetries),
      map_(std::move(map)) {
  RegisterCompleteObservers(*this, nullptr);
  const std::shared_ptr<TransferWorkInterface>& wi = GetWorkInterface();
  AddChild(OptimizedRequestChunkWork::Create(wi, std::move(session), map_, RequestLimit(*wi)));
  AddChild(VerifyChunkWork::Create(wi, map_));
}

uint32_t RetryableTransferChunkWork::RequestLimitFor(uint32_t nodes, uint32_t minimum) {
  return std::max<uint32_t>(nodes == 0 ? 0 : nodes - 1, minimum);
}

void RetryableTransferChunkWork::Describe(boost::property_tree::ptree& tree) const {
  DescribeTransferWork(tree, "RetryableTransferChunkWork", false, ParamsAccess::kInPlace);
  map_->Describe(tree);
}

}  // namespace zarn
