#ifndef ZARN_TRANSFER_WORKS_TRANSFER_PACKAGE_WORK_H_
#define ZARN_TRANSFER_WORKS_TRANSFER_PACKAGE_WORK_H_

#include <memory>

#include "transfer/works/transfer_work.h"
#include "work/sequential_work.h"

namespace zarn {

// The root of a transfer's tree: initialize (manifests, then the file tree), transfer the
// files, allow the executables to run. It makes the one HTTP session that serves every
// request of the tree; its completion reaches the transfer's work-complete handler.
class TransferPackageWork : public TransferWork, public SequentialWork {
  // The passkey: the constructor is public for std::make_shared, yet only Create can call it.
  struct Token {};

 public:
  static std::shared_ptr<TransferPackageWork> Create(
      std::shared_ptr<TransferWorkInterface> workInterface);
  TransferPackageWork(Token, std::shared_ptr<TransferWorkInterface> workInterface);

  void Describe(boost::property_tree::ptree& tree) const override;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_WORKS_TRANSFER_PACKAGE_WORK_H_
