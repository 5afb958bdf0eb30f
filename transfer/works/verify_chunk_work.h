#ifndef ZARN_TRANSFER_WORKS_VERIFY_CHUNK_WORK_H_
#define ZARN_TRANSFER_WORKS_VERIFY_CHUNK_WORK_H_

#include <cstdint>
#include <memory>

#include "transfer/works/transfer_work.h"
#include "work/simple_work.h"

namespace zarn {

class TransferSharedMapData;

// Compares the CRC-32 of the chunk's bytes in the file with the manifest's. A match counts
// the chunk as completed and verified; a mismatch takes its counted bytes back out and
// ends with Failure and a ChecksumStatusData.
class VerifyChunkWork : public TransferWork, public SimpleWork {
  // The passkey: the constructor is public for std::make_shared, yet only Create can call it.
  struct Token {};

 public:
  static std::shared_ptr<VerifyChunkWork> Create(
      std::shared_ptr<TransferWorkInterface> workInterface,
      std::shared_ptr<TransferSharedMapData> map);
  VerifyChunkWork(Token, std::shared_ptr<TransferWorkInterface> workInterface,
                  std::shared_ptr<TransferSharedMapData> map);

  void Describe(boost::property_tree::ptree& tree) const override;
  WorkStatus ExecuteTask() override;
  void OnCancel() override {}

  // The CRC-32 of the chunk's bytes in place.
  uint32_t CheckChecksum() const;

  // Counts the chunk as completed (exactly its length) and verified.
  void CommitProgress();

 private:
  const std::shared_ptr<TransferSharedMapData> map_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_WORKS_VERIFY_CHUNK_WORK_H_
