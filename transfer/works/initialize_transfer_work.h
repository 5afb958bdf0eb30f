#ifndef ZARN_TRANSFER_WORKS_INITIALIZE_TRANSFER_WORK_H_
#define ZARN_TRANSFER_WORKS_INITIALIZE_TRANSFER_WORK_H_

#include <memory>

#include "transfer/works/transfer_work.h"
#include "work/sequential_work.h"

namespace zarn {

class DeferredWork;
class HttpSession;

// Fetches both manifests, then builds the file part of the tree. Its completion reaches
// the transfer's initialize handler, which pauses the workflow until the transfer starts.
class InitializeTransferWork : public TransferWork, public SequentialWork {
  // The passkey: the constructor is public for std::make_shared, yet only Create can call it.
  struct Token {};

 public:
  static std::shared_ptr<InitializeTransferWork> Create(
      std::shared_ptr<TransferWorkInterface> workInterface, std::shared_ptr<HttpSession> session,
      std::shared_ptr<DeferredWork> deferred);
  InitializeTransferWork(Token, std::shared_ptr<TransferWorkInterface> workInterface,
                         std::shared_ptr<HttpSession> session,
                         std::shared_ptr<DeferredWork> deferred);

  void Describe(boost::property_tree::ptree& tree) const override;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_WORKS_INITIALIZE_TRANSFER_WORK_H_
