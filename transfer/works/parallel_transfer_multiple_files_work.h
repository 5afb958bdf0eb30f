#ifndef ZARN_TRANSFER_WORKS_PARALLEL_TRANSFER_MULTIPLE_FILES_WORK_H_
#define ZARN_TRANSFER_WORKS_PARALLEL_TRANSFER_MULTIPLE_FILES_WORK_H_

#include <memory>
#include <vector>

#include "transfer/works/transfer_work.h"
#include "work/parallel_work.h"

namespace zarn {

class FileManifest;
class HttpSession;

// Transfers all its files at once, bounded by the workflow's limit of running works.
class ParallelTransferMultipleFilesWork : public TransferWork, public ParallelWork {
  // The passkey: the constructor is public for std::make_shared, yet only Create can call it.
  struct Token {};

 public:
  static std::shared_ptr<ParallelTransferMultipleFilesWork> Create(
      std::shared_ptr<TransferWorkInterface> workInterface, std::shared_ptr<HttpSession> session,
      const std::vector<std::shared_ptr<FileManifest>>& files);
  ParallelTransferMultipleFilesWork(Token, std::shared_ptr<TransferWorkInterface> workInterface,
                                    std::shared_ptr<HttpSession> session,
                                    const std::vector<std::shared_ptr<FileManifest>>& files);

  void Describe(boost::property_tree::ptree& tree) const override;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_WORKS_PARALLEL_TRANSFER_MULTIPLE_FILES_WORK_H_
