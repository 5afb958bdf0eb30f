#include "transfer/works/verify_chunk_work.h"

#include <boost/property_tree/ptree.hpp>

#include "storage/crc32.h"
#include "storage/memory_mapped_file_data.h"
#include "transfer/manifest/node_manifest.h"
#include "transfer/works/checksum_status_data.h"
#include "transfer/works/transfer_shared_map_data.h"
#include "work/work_status.h"

namespace zarn {
namespace {

// Runs under the view's fault guard: owns nothing with a destructor.
uint32_t ChunkCrc32(const uint8_t* data, uint32_t length) { return Crc32(data, length); }

}  // namespace

std::shared_ptr<VerifyChunkWork> VerifyChunkWork::Create(
    std::shared_ptr<TransferWorkInterface> workInterface,
    std::shared_ptr<TransferSharedMapData> map) {
  return std::make_shared<VerifyChunkWork>(Token(), std::move(workInterface), std::move(map));
}

VerifyChunkWork::VerifyChunkWork(Token, std::shared_ptr<TransferWorkInterface> workInterface,
                                 std::shared_ptr<TransferSharedMapData> map)
    : TransferWork(std::move(workInterface)), map_(std::move(map)) {
  RegisterCompleteObservers(*this, nullptr);
}

void VerifyChunkWork::Describe(boost::property_tree::ptree& tree) const {
  DescribeTransferWork(tree, "VerifyChunkWork", false, ParamsAccess::kInPlace);
  map_->Describe(tree);
}

uint32_t VerifyChunkWork::CheckChecksum() const { return map_->view->Apply(&ChunkCrc32); }

void VerifyChunkWork::CommitProgress() { map_->CommitProgress(); }

WorkStatus VerifyChunkWork::ExecuteTask() {
  try {
    if (!map_->view) {
      return MissingPreconditionStatus("VerifyChunkWork::ExecuteTask has no shared map");
    }
    const uint32_t actual = CheckChecksum();
    if (actual == map_->expectedChecksum) {
      CommitProgress();
      return WorkStatus(WorkResult::Success);
    }
    map_->WithdrawProgress();
    if (map_->servedBy) {
      map_->mismatchedNodes.push_back(map_->servedBy);
      map_->servedBy.reset();
    }
    return WorkStatus(WorkResult::Failure, ChecksumStatusData::Create(actual));
  } catch (...) {
    return FileExceptionStatus();
  }
}

}  // namespace zarn
