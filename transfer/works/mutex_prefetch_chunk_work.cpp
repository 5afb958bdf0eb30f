#include "transfer/works/mutex_prefetch_chunk_work.h"

#include <boost/property_tree/ptree.hpp>

#include "storage/memory_mapped_file_data.h"
#include "transfer/works/transfer_shared_map_data.h"
#include "work/work_status.h"

namespace zarn {

std::shared_ptr<MutexPrefetchChunkWork> MutexPrefetchChunkWork::Create(
    std::shared_ptr<TransferWorkInterface> workInterface,
    std::shared_ptr<TransferSharedMapData> map) {
  return std::make_shared<MutexPrefetchChunkWork>(Token(), std::move(workInterface),
                                                  std::move(map));
}

MutexPrefetchChunkWork::MutexPrefetchChunkWork(Token,
                                               std::shared_ptr<TransferWorkInterface> workInterface,
                                               std::shared_ptr<TransferSharedMapData> map)
    : TransferWork(std::move(workInterface)), map_(std::move(map)) {
  RegisterCompleteObservers(*this, nullptr);
}

void MutexPrefetchChunkWork::Describe(boost::property_tree::ptree& tree) const {
  DescribeTransferWork(tree, "MutexPrefetchChunkWork", false, ParamsAccess::kInPlace);
  map_->Describe(tree);
}

WorkStatus MutexPrefetchChunkWork::ExecuteTask() {
  try {
    if (!map_->view) {
      return MissingPreconditionStatus("MutexPrefetchChunkWork::ExecuteTask has no shared map");
    }
    map_->view->Fetch();
    return WorkStatus(WorkResult::Success);
  } catch (...) {
    return FileExceptionStatus();
  }
}

}  // namespace zarn
