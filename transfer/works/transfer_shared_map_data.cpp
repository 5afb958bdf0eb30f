#include "transfer/works/transfer_shared_map_data.h"

#include <boost/property_tree/ptree.hpp>
#include <sstream>
#include <utility>

#include "storage/memory_mapped_file_data.h"
#include "transfer/manifest/node_manifest.h"
#include "transfer/transfer_progress_updater.h"
#include "transfer/works/transfer_shared_file_data.h"

namespace zarn {

std::shared_ptr<TransferSharedMapData> TransferSharedMapData::Create(
    std::shared_ptr<TransferSharedFileData> fileData, const uint64_t& lower, const uint64_t& upper,
    uint32_t expectedChecksum, std::shared_ptr<TransferProgressUpdater> progress) {
  return std::make_shared<TransferSharedMapData>(Token(), std::move(fileData), lower, upper,
                                                 expectedChecksum, std::move(progress));
}

TransferSharedMapData::TransferSharedMapData(Token,
                                             std::shared_ptr<TransferSharedFileData> fileData_,
                                             uint64_t lower, uint64_t upper,
                                             uint32_t expectedChecksum_,
                                             std::shared_ptr<TransferProgressUpdater> progress_)
    : fileData(std::move(fileData_)),
      lowerBound(lower),
      upperBound(upper),
      expectedChecksum(expectedChecksum_),
      progress(std::move(progress_)) {}

TransferSharedMapData::~TransferSharedMapData() = default;

void TransferSharedMapData::CountWritten(uint64_t n) {
  fileProgressBytes += n;
  progress->AddCompleted(n);
  progress->AddDownloaded(n);
}

void TransferSharedMapData::WithdrawProgress() {
  if (!view) return;
  view->Seek(lowerBound);
  const uint64_t counted = fileProgressBytes.exchange(0);
  if (counted > 0) progress->SubtractCompleted(counted);
}

void TransferSharedMapData::CommitProgress() {
  const uint64_t length = Length();
  const uint64_t counted = fileProgressBytes.exchange(length);
  if (counted < length) {
    progress->AddCompleted(length - counted);
  } else if (counted > length) {
    progress->SubtractCompleted(counted - length);
  }
  progress->AddVerified(length);
}

void TransferSharedMapData::ResetProgress() {
  view.reset();
  fileProgressBytes = 0;
  servedBy.reset();
  mismatchedNodes.clear();
}

void TransferSharedMapData::Describe(boost::property_tree::ptree& tree) const {
  fileData->Describe(tree);
  tree.put("lowerBound", lowerBound);
  tree.put("upperBound", upperBound);
  std::ostringstream checksum;
  checksum << std::hex << expectedChecksum;
  tree.put("expectedChecksum", checksum.str());
  tree.put("fileProgressBytes", fileProgressBytes.load());
}

}  // namespace zarn
