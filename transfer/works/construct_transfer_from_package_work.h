#ifndef ZARN_TRANSFER_WORKS_CONSTRUCT_TRANSFER_FROM_PACKAGE_WORK_H_
#define ZARN_TRANSFER_WORKS_CONSTRUCT_TRANSFER_FROM_PACKAGE_WORK_H_

#include <memory>

#include "transfer/works/transfer_work.h"
#include "work/simple_work.h"

namespace zarn {

class DeferredWork;
class HttpSession;

// Builds the file part of the tree from the acquired package and hands it to the
// deferred work that waits for it. A package or node list that is missing, or a file set
// that cannot be built, ends with an Internal error.
class ConstructTransferFromPackageWork : public TransferWork, public SimpleWork {
  // The passkey: the constructor is public for std::make_shared, yet only Create can call it.
  struct Token {};

 public:
  static std::shared_ptr<ConstructTransferFromPackageWork> Create(
      std::shared_ptr<TransferWorkInterface> workInterface, std::shared_ptr<HttpSession> session,
      std::shared_ptr<DeferredWork> deferred);
  ConstructTransferFromPackageWork(Token, std::shared_ptr<TransferWorkInterface> workInterface,
                                   std::shared_ptr<HttpSession> session,
                                   std::shared_ptr<DeferredWork> deferred);

  void Describe(boost::property_tree::ptree& tree) const override;
  WorkStatus ExecuteTask() override;
  void OnCancel() override {}

 private:
  const std::shared_ptr<HttpSession> session_;
  const std::shared_ptr<DeferredWork> deferred_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_WORKS_CONSTRUCT_TRANSFER_FROM_PACKAGE_WORK_H_
