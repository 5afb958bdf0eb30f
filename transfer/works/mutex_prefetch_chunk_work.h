#ifndef ZARN_TRANSFER_WORKS_MUTEX_PREFETCH_CHUNK_WORK_H_
#define ZARN_TRANSFER_WORKS_MUTEX_PREFETCH_CHUNK_WORK_H_

#include <memory>

#include "transfer/works/transfer_work.h"
#include "work/simple_work.h"

namespace zarn {

class TransferSharedMapData;

// Brings the chunk's bytes into memory for the verification that follows (the view's
// Fetch: one large read of the range, which writes nothing). Chunks do this at the same
// time: each reads its range in one call, so there are no scattered page faults for a
// process-wide lock to keep from thrashing the disk.
class MutexPrefetchChunkWork : public TransferWork, public SimpleWork {
  // The passkey: the constructor is public for std::make_shared, yet only Create can call it.
  struct Token {};

 public:
  static std::shared_ptr<MutexPrefetchChunkWork> Create(
      std::shared_ptr<TransferWorkInterface> workInterface,
      std::shared_ptr<TransferSharedMapData> map);
  MutexPrefetchChunkWork(Token, std::shared_ptr<TransferWorkInterface> workInterface,
                         std::shared_ptr<TransferSharedMapData> map);

  void Describe(boost::property_tree::ptree& tree) const override;
  WorkStatus ExecuteTask() override;
  void OnCancel() override {}

 private:
  const std::shared_ptr<TransferSharedMapData> map_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_WORKS_MUTEX_PREFETCH_CHUNK_WORK_H_
