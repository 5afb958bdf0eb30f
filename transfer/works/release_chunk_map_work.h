#ifndef ZARN_TRANSFER_WORKS_RELEASE_CHUNK_MAP_WORK_H_
#define ZARN_TRANSFER_WORKS_RELEASE_CHUNK_MAP_WORK_H_

#include <memory>

#include "transfer/works/transfer_work.h"
#include "work/simple_work.h"

namespace zarn {

class TransferSharedMapData;

// Drops the chunk's view; it is unmapped when nothing else holds it.
class ReleaseChunkMapWork : public TransferWork, public SimpleWork {
  // The passkey: the constructor is public for std::make_shared, yet only Create can call it.
  struct Token {};

 public:
  static std::shared_ptr<ReleaseChunkMapWork> Create(
      std::shared_ptr<TransferWorkInterface> workInterface,
      std::shared_ptr<TransferSharedMapData> map);
  ReleaseChunkMapWork(Token, std::shared_ptr<TransferWorkInterface> workInterface,
                      std::shared_ptr<TransferSharedMapData> map);

  void Describe(boost::property_tree::ptree& tree) const override;
  WorkStatus ExecuteTask() override;
  void OnCancel() override {}

 private:
  const std::shared_ptr<TransferSharedMapData> map_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_WORKS_RELEASE_CHUNK_MAP_WORK_H_
