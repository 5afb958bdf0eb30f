#ifndef ZARN_TRANSFER_WORKS_MUTEX_PREFETCH_CHUNK_WORK_H_
#define ZARN_TRANSFER_WORKS_MUTEX_PREFETCH_CHUNK_WORK_H_

#include <memory>
#include <mutex>

#include "transfer/works/transfer_work.h"
#include "work/simple_work.h"

namespace zarn {

class TransferSharedMapData;

// Brings the chunk's pages into memory. One chunk at a time in the whole process does
// this, so that concurrent chunks do not thrash the disk with scattered page faults.
class MutexPrefetchChunkWork : public TransferWork, public SimpleWork {
 public:
  static std::shared_ptr<MutexPrefetchChunkWork> Create(
      std::shared_ptr<TransferWorkInterface> workInterface,
      std::shared_ptr<TransferSharedMapData> map);
  MutexPrefetchChunkWork(std::shared_ptr<TransferWorkInterface> workInterface,
                         std::shared_ptr<TransferSharedMapData> map);

  void Describe(boost::property_tree::ptree& tree) const override;
  WorkStatus ExecuteTask() override;
  void OnCancel() override {}

  // Taken by every prefetch of every chunk of every transfer.
  static std::mutex s_mutex;

 private:
  const std::shared_ptr<TransferSharedMapData> map_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_WORKS_MUTEX_PREFETCH_CHUNK_WORK_H_
