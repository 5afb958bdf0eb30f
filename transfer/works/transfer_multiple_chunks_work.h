#ifndef ZARN_TRANSFER_WORKS_TRANSFER_MULTIPLE_CHUNKS_WORK_H_
#define ZARN_TRANSFER_WORKS_TRANSFER_MULTIPLE_CHUNKS_WORK_H_

#include <memory>
#include <vector>

#include "transfer/works/transfer_work.h"
#include "work/parallel_work.h"

namespace zarn {

class FileManifest;
class HttpSession;
class TransferSharedFileData;
class TransferSingleChunkWork;

// All chunks of one file at once: chunk i covers [i * chunkSize,
// min((i + 1) * chunkSize, fileSize) - 1], computed in 64 bits.
class TransferMultipleChunksWork : public TransferWork, public ParallelWork {
  // The passkey: the constructor is public for std::make_shared, yet only Create can call it.
  struct Token {};

 public:
  static std::shared_ptr<TransferMultipleChunksWork> Create(
      std::shared_ptr<TransferWorkInterface> workInterface, std::shared_ptr<HttpSession> session,
      const std::shared_ptr<FileManifest>& manifest, std::shared_ptr<TransferSharedFileData> file);
  TransferMultipleChunksWork(Token, std::shared_ptr<TransferWorkInterface> workInterface,
                             std::shared_ptr<HttpSession> session,
                             const std::shared_ptr<FileManifest>& manifest,
                             std::shared_ptr<TransferSharedFileData> file);

  void Describe(boost::property_tree::ptree& tree) const override;

  // Drops every chunk's view, in chunk order.
  void ReleaseChunkMaps();

  const std::vector<std::shared_ptr<TransferSingleChunkWork>>& GetChunks() const { return chunks_; }

 private:
  const std::shared_ptr<TransferSharedFileData> file_;
  std::vector<std::shared_ptr<TransferSingleChunkWork>> chunks_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_WORKS_TRANSFER_MULTIPLE_CHUNKS_WORK_H_
