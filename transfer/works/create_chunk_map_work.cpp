#include "transfer/works/create_chunk_map_work.h"

#include <boost/property_tree/ptree.hpp>

#include "storage/memory_mapped_file_data.h"
#include "storage/shared_file.h"
#include "transfer/works/transfer_shared_file_data.h"
#include "transfer/works/transfer_shared_map_data.h"
#include "work/work_status.h"

namespace zarn {

std::shared_ptr<CreateChunkMapWork> CreateChunkMapWork::Create(
    std::shared_ptr<TransferWorkInterface> workInterface,
    std::shared_ptr<TransferSharedMapData> map) {
  return std::make_shared<CreateChunkMapWork>(Token(), std::move(workInterface), std::move(map));
}

CreateChunkMapWork::CreateChunkMapWork(Token, std::shared_ptr<TransferWorkInterface> workInterface,
                                       std::shared_ptr<TransferSharedMapData> map)
    : TransferWork(std::move(workInterface)), map_(std::move(map)) {
  RegisterCompleteObservers(*this, nullptr);
}

void CreateChunkMapWork::Describe(boost::property_tree::ptree& tree) const {
  DescribeTransferWork(tree, "CreateChunkMapWork", false, ParamsAccess::kInPlace);
  map_->Describe(tree);
}

void CreateChunkMapWork::Reset() {
  SimpleWork::Reset();
  map_->view.reset();
}

WorkStatus CreateChunkMapWork::ExecuteTask() {
  try {
    const std::shared_ptr<SharedFile> file = map_->fileData->sharedFile;
    if (!file) {
      return MissingPreconditionStatus("CreateChunkMapWork::ExecuteTask has no shared file");
    }
    map_->view = file->Map(map_->lowerBound, map_->upperBound);
    return WorkStatus(WorkResult::Success);
  } catch (...) {
    return FileExceptionStatus();
  }
}

}  // namespace zarn
