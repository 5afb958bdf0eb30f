#ifndef ZARN_TRANSFER_WORKS_SEQUENTIAL_TRANSFER_MULTIPLE_FILES_WORK_H_
#define ZARN_TRANSFER_WORKS_SEQUENTIAL_TRANSFER_MULTIPLE_FILES_WORK_H_

#include <memory>
#include <vector>

#include "transfer/works/transfer_work.h"
#include "work/sequential_work.h"

namespace zarn {

class FileManifest;
class HttpSession;

// Transfers its files one after another, in list order (the package's run file).
class SequentialTransferMultipleFilesWork : public TransferWork, public SequentialWork {
  // The passkey: the constructor is public for std::make_shared, yet only Create can call it.
  struct Token {};

 public:
  static std::shared_ptr<SequentialTransferMultipleFilesWork> Create(
      std::shared_ptr<TransferWorkInterface> workInterface, std::shared_ptr<HttpSession> session,
      const std::vector<std::shared_ptr<FileManifest>>& files);
  SequentialTransferMultipleFilesWork(Token, std::shared_ptr<TransferWorkInterface> workInterface,
                                      std::shared_ptr<HttpSession> session,
                                      const std::vector<std::shared_ptr<FileManifest>>& files);

  void Describe(boost::property_tree::ptree& tree) const override;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_WORKS_SEQUENTIAL_TRANSFER_MULTIPLE_FILES_WORK_H_
