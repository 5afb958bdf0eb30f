#ifndef ZARN_TRANSFER_WORKS_GET_PACKAGE_MANIFEST_WORK_H_
#define ZARN_TRANSFER_WORKS_GET_PACKAGE_MANIFEST_WORK_H_

#include <cstdint>
#include <memory>

#include "transfer/works/transfer_work.h"
#include "work/limited_retry_simple_work.h"

namespace zarn {

class HttpSession;

// Fetches the transfer's package manifest (its current version when none is set). A stream failure
// is retried at once within maxRetries and then left to the transfer's retry with error Network.
class GetPackageManifestWork : public TransferWork, public LimitedRetrySimpleWork {
  // The passkey: the constructor is public for std::make_shared, yet only Create can call it.
  struct Token {};

 public:
  static std::shared_ptr<GetPackageManifestWork> Create(
      std::shared_ptr<TransferWorkInterface> workInterface, std::shared_ptr<HttpSession> session,
      uint32_t maxRetries);
  GetPackageManifestWork(Token, std::shared_ptr<TransferWorkInterface> workInterface,
                         std::shared_ptr<HttpSession> session, uint32_t maxRetries);

  void Describe(boost::property_tree::ptree& tree) const override;
  WorkStatus ExecuteTask() override;
  void OnCancel() override {}

 private:
  const std::shared_ptr<HttpSession> session_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_WORKS_GET_PACKAGE_MANIFEST_WORK_H_
