#ifndef ZARN_TRANSFER_WORKS_CLOSE_FILE_WORK_H_
#define ZARN_TRANSFER_WORKS_CLOSE_FILE_WORK_H_

#include <memory>

#include "transfer/works/transfer_work.h"
#include "work/simple_work.h"

namespace zarn {

class TransferSharedFileData;

// Lets go of a file once all its chunks are verified; the handle closes with its last
// holder. The file must still be the one at its path, of its manifest size: otherwise
// another process changed it, and the work ends with a retryable FileAccess error.
class CloseFileWork : public TransferWork, public SimpleWork {
  // The passkey: the constructor is public for std::make_shared, yet only Create can call it.
  struct Token {};

 public:
  static std::shared_ptr<CloseFileWork> Create(std::shared_ptr<TransferWorkInterface> workInterface,
                                               std::shared_ptr<TransferSharedFileData> file);
  CloseFileWork(Token, std::shared_ptr<TransferWorkInterface> workInterface,
                std::shared_ptr<TransferSharedFileData> file);

  void Describe(boost::property_tree::ptree& tree) const override;
  WorkStatus ExecuteTask() override;
  void OnCancel() override {}

 private:
  const std::shared_ptr<TransferSharedFileData> file_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_WORKS_CLOSE_FILE_WORK_H_
