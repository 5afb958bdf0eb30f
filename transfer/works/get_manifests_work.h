#ifndef ZARN_TRANSFER_WORKS_GET_MANIFESTS_WORK_H_
#define ZARN_TRANSFER_WORKS_GET_MANIFESTS_WORK_H_

#include <memory>

#include "transfer/works/transfer_work.h"
#include "work/parallel_work.h"

namespace zarn {

class HttpSession;

// Fetches the package manifest and the node list at the same time.
class GetManifestsWork : public TransferWork, public ParallelWork {
  // The passkey: the constructor is public for std::make_shared, yet only Create can call it.
  struct Token {};

 public:
  static std::shared_ptr<GetManifestsWork> Create(
      std::shared_ptr<TransferWorkInterface> workInterface, std::shared_ptr<HttpSession> session);
  GetManifestsWork(Token, std::shared_ptr<TransferWorkInterface> workInterface,
                   std::shared_ptr<HttpSession> session);

  void Describe(boost::property_tree::ptree& tree) const override;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_WORKS_GET_MANIFESTS_WORK_H_
