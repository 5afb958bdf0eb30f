#ifndef ZARN_TRANSFER_WORKS_CONDITIONAL_TRANSFER_CHUNK_WORK_H_
#define ZARN_TRANSFER_WORKS_CONDITIONAL_TRANSFER_CHUNK_WORK_H_

#include <memory>

#include "transfer/works/transfer_work.h"
#include "work/conditional_work.h"

namespace zarn {

class HttpSession;
class TransferSharedMapData;

// Verifies the bytes already in the file and downloads the chunk only when they do not
// match: a chunk that is already complete makes no request.
class ConditionalTransferChunkWork : public TransferWork, public ConditionalWork {
  // The passkey: the constructor is public for std::make_shared, yet only Create can call it.
  struct Token {};

 public:
  static std::shared_ptr<ConditionalTransferChunkWork> Create(
      std::shared_ptr<TransferWorkInterface> workInterface, std::shared_ptr<HttpSession> session,
      std::shared_ptr<TransferSharedMapData> map);
  ConditionalTransferChunkWork(Token, std::shared_ptr<TransferWorkInterface> workInterface,
                               std::shared_ptr<HttpSession> session,
                               std::shared_ptr<TransferSharedMapData> map);

  void Describe(boost::property_tree::ptree& tree) const override;

 private:
  const std::shared_ptr<TransferSharedMapData> map_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_WORKS_CONDITIONAL_TRANSFER_CHUNK_WORK_H_
