#include "transfer/works/transfer_single_chunk_work.h"

#include <boost/property_tree/ptree.hpp>
#include <utility>

#include "storage/memory_mapped_file_data.h"
#include "transfer/transfer_progress_updater.h"
#include "transfer/transfer_work_interface.h"
#include "transfer/works/conditional_transfer_chunk_work.h"
#include "transfer/works/create_chunk_map_work.h"
#include "transfer/works/mutex_prefetch_chunk_work.h"
#include "transfer/works/release_chunk_map_work.h"
#include "transfer/works/transfer_shared_map_data.h"

namespace zarn {

std::shared_ptr<TransferSingleChunkWork> TransferSingleChunkWork::Create(
    std::shared_ptr<TransferWorkInterface> workInterface, std::shared_ptr<HttpSession> session,
    std::shared_ptr<TransferSharedFileData> fileData, const uint64_t& lower, const uint64_t& upper,
    uint32_t expectedChecksum) {
  return std::make_shared<TransferSingleChunkWork>(Token(), std::move(workInterface),
                                                   std::move(session), std::move(fileData), lower,
                                                   upper, expectedChecksum);
}

TransferSingleChunkWork::TransferSingleChunkWork(
    Token, std::shared_ptr<TransferWorkInterface> workInterface,
    std::shared_ptr<HttpSession> session, std::shared_ptr<TransferSharedFileData> fileData,
    uint64_t lower, uint64_t upper, uint32_t expectedChecksum)
    : TransferWork(std::move(workInterface)),
      map_(TransferSharedMapData::Create(std::move(fileData), lower, upper, expectedChecksum,
                                         GetWorkInterface()->GetProgressUpdater())) {
  RegisterCompleteObservers(*this, nullptr);
  const std::shared_ptr<TransferWorkInterface>& wi = GetWorkInterface();
  AddChild(CreateChunkMapWork::Create(wi, map_));
  AddChild(MutexPrefetchChunkWork::Create(wi, map_));
  AddChild(ConditionalTransferChunkWork::Create(wi, std::move(session), map_));
  AddChild(ReleaseChunkMapWork::Create(wi, map_));
}

void TransferSingleChunkWork::Describe(boost::property_tree::ptree& tree) const {
  DescribeTransferWork(tree, "TransferSingleChunkWork", false, ParamsAccess::kInPlace);
  map_->Describe(tree);
}

void TransferSingleChunkWork::Reset() {
  SequentialWork::Reset();
  map_->ResetProgress();
}

void TransferSingleChunkWork::ReleaseMap() { map_->view.reset(); }

}  // namespace zarn
