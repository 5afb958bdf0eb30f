#ifndef ZARN_TRANSFER_WORKS_GET_NODE_LIST_WORK_H_
#define ZARN_TRANSFER_WORKS_GET_NODE_LIST_WORK_H_

#include <cstdint>
#include <memory>

#include "transfer/works/transfer_work.h"
#include "work/limited_retry_simple_work.h"

namespace zarn {

class HttpSession;

// Fetches the node list of the transfer's partner. A stream failure is retried at once
// within maxRetries and then left to the transfer's retry with error Network.
class GetNodeListWork : public TransferWork, public LimitedRetrySimpleWork {
  // The passkey: the constructor is public for std::make_shared, yet only Create can call it.
  struct Token {};

 public:
  static std::shared_ptr<GetNodeListWork> Create(
      std::shared_ptr<TransferWorkInterface> workInterface, std::shared_ptr<HttpSession> session,
      uint32_t maxRetries);
  GetNodeListWork(Token, std::shared_ptr<TransferWorkInterface> workInterface,
                  std::shared_ptr<HttpSession> session, uint32_t maxRetries);

  void Describe(boost::property_tree::ptree& tree) const override;
  WorkStatus ExecuteTask() override;
  void OnCancel() override {}

 private:
  const std::shared_ptr<HttpSession> session_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_WORKS_GET_NODE_LIST_WORK_H_
