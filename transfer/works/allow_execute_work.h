#ifndef ZARN_TRANSFER_WORKS_ALLOW_EXECUTE_WORK_H_
#define ZARN_TRANSFER_WORKS_ALLOW_EXECUTE_WORK_H_

#include <memory>

#include "transfer/works/transfer_work.h"
#include "work/simple_work.h"

namespace zarn {

// Lifts the execute ban from every executable file of the package once all files are
// verified, in document order; a refusal is a retryable file-access error.
class AllowExecuteWork : public TransferWork, public SimpleWork {
  // The passkey: the constructor is public for std::make_shared, yet only Create can call it.
  struct Token {};

 public:
  static std::shared_ptr<AllowExecuteWork> Create(
      std::shared_ptr<TransferWorkInterface> workInterface);
  AllowExecuteWork(Token, std::shared_ptr<TransferWorkInterface> workInterface);

  void Describe(boost::property_tree::ptree& tree) const override;
  WorkStatus ExecuteTask() override;
  void OnCancel() override {}
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_WORKS_ALLOW_EXECUTE_WORK_H_
