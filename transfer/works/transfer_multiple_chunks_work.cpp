#include "transfer/works/transfer_multiple_chunks_work.h"

#include <algorithm>
#include <boost/property_tree/ptree.hpp>
#include <utility>

#include "transfer/manifest/file_manifest.h"
#include "transfer/works/transfer_shared_file_data.h"
#include "transfer/works/transfer_single_chunk_work.h"

namespace zarn {

std::shared_ptr<TransferMultipleChunksWork> TransferMultipleChunksWork::Create(
    std::shared_ptr<TransferWorkInterface> workInterface, std::shared_ptr<HttpSession> session,
    const std::shared_ptr<FileManifest>& manifest, std::shared_ptr<TransferSharedFileData> file) {
  return std::make_shared<TransferMultipleChunksWork>(
      Token(), std::move(workInterface), std::move(session), manifest, std::move(file));
}

TransferMultipleChunksWork::TransferMultipleChunksWork(
    Token, std::shared_ptr<TransferWorkInterface> workInterface,
    std::shared_ptr<HttpSession> session, const std::shared_ptr<FileManifest>& manifest,
    std::shared_ptr<TransferSharedFileData> file)
    : TransferWork(std::move(workInterface)), file_(std::move(file)) {
  RegisterCompleteObservers(*this, nullptr);
  const uint64_t size = manifest->GetSize();
  const uint64_t chunkSize = manifest->GetChunkSize();
  const uint32_t count = GetChunkCount(manifest->GetChunkSize(), size);
  const std::vector<uint32_t>& checksums = manifest->GetChecksums();
  chunks_.reserve(count);
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t lower = i * chunkSize;
    const uint64_t upper = std::min(lower + chunkSize - 1, size - 1);
    chunks_.push_back(TransferSingleChunkWork::Create(GetWorkInterface(), session, file_, lower,
                                                      upper, checksums.at(i)));
    AddChild(chunks_.back());
  }
}

void TransferMultipleChunksWork::Describe(boost::property_tree::ptree& tree) const {
  DescribeTransferWork(tree, "TransferMultipleChunksWork", false, ParamsAccess::kInPlace);
  file_->Describe(tree);
}

void TransferMultipleChunksWork::ReleaseChunkMaps() {
  for (const auto& chunk : chunks_) chunk->ReleaseMap();
}

}  // namespace zarn
