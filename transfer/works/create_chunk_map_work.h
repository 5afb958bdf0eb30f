#ifndef ZARN_TRANSFER_WORKS_CREATE_CHUNK_MAP_WORK_H_
#define ZARN_TRANSFER_WORKS_CREATE_CHUNK_MAP_WORK_H_

#include <memory>

#include "transfer/works/transfer_work.h"
#include "work/simple_work.h"

namespace zarn {

class TransferSharedMapData;

// Maps the chunk's byte range of its open file into memory.
class CreateChunkMapWork : public TransferWork, public SimpleWork {
  // The passkey: the constructor is public for std::make_shared, yet only Create can call it.
  struct Token {};

 public:
  static std::shared_ptr<CreateChunkMapWork> Create(
      std::shared_ptr<TransferWorkInterface> workInterface,
      std::shared_ptr<TransferSharedMapData> map);
  CreateChunkMapWork(Token, std::shared_ptr<TransferWorkInterface> workInterface,
                     std::shared_ptr<TransferSharedMapData> map);

  void Describe(boost::property_tree::ptree& tree) const override;
  WorkStatus ExecuteTask() override;
  void OnCancel() override {}

  // Clears the cancelled flag and drops any view.
  void Reset() override;

 private:
  const std::shared_ptr<TransferSharedMapData> map_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_WORKS_CREATE_CHUNK_MAP_WORK_H_
