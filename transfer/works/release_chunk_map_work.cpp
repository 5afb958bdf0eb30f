#include "transfer/works/release_chunk_map_work.h"

#include <boost/property_tree/ptree.hpp>

#include "storage/memory_mapped_file_data.h"
#include "transfer/works/transfer_shared_map_data.h"
#include "work/work_status.h"

namespace zarn {

std::shared_ptr<ReleaseChunkMapWork> ReleaseChunkMapWork::Create(
    std::shared_ptr<TransferWorkInterface> workInterface,
    std::shared_ptr<TransferSharedMapData> map) {
  return std::make_shared<ReleaseChunkMapWork>(Token(), std::move(workInterface), std::move(map));
}

ReleaseChunkMapWork::ReleaseChunkMapWork(Token,
                                         std::shared_ptr<TransferWorkInterface> workInterface,
                                         std::shared_ptr<TransferSharedMapData> map)
    : TransferWork(std::move(workInterface)), map_(std::move(map)) {
  RegisterCompleteObservers(*this, nullptr);
}

void ReleaseChunkMapWork::Describe(boost::property_tree::ptree& tree) const {
  DescribeTransferWork(tree, "ReleaseChunkMapWork", false, ParamsAccess::kInPlace);
  map_->Describe(tree);
}

WorkStatus ReleaseChunkMapWork::ExecuteTask() {
  map_->view.reset();
  return WorkStatus(WorkResult::Success);
}

}  // namespace zarn
