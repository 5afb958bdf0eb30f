#ifndef ZARN_TRANSFER_WORKS_TRANSFER_MULTIPLE_FILES_WORK_H_
#define ZARN_TRANSFER_WORKS_TRANSFER_MULTIPLE_FILES_WORK_H_

#include <memory>

#include "transfer/works/transfer_work.h"
#include "work/sequential_work.h"

namespace zarn {

class HttpSession;

// The file part of a transfer's tree, built eagerly from the package down to every chunk:
// the run file in a sequential cluster first, then the other files in a parallel cluster.
// Throws std::logic_error when the package is missing or has no files.
class TransferMultipleFilesWork : public TransferWork, public SequentialWork {
  // The passkey: the constructor is public for std::make_shared, yet only Create can call it.
  struct Token {};

 public:
  static std::shared_ptr<TransferMultipleFilesWork> Create(
      std::shared_ptr<TransferWorkInterface> workInterface, std::shared_ptr<HttpSession> session);
  TransferMultipleFilesWork(Token, std::shared_ptr<TransferWorkInterface> workInterface,
                            std::shared_ptr<HttpSession> session);

  void Describe(boost::property_tree::ptree& tree) const override;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_WORKS_TRANSFER_MULTIPLE_FILES_WORK_H_
