#ifndef ZARN_TRANSFER_WORKS_TRANSFER_SINGLE_FILE_WORK_H_
#define ZARN_TRANSFER_WORKS_TRANSFER_SINGLE_FILE_WORK_H_

#include <memory>

#include "transfer/works/transfer_work.h"
#include "work/sequential_work.h"

namespace zarn {

class FileManifest;
class HttpSession;
class TransferMultipleChunksWork;
class TransferSharedFileData;

// One file of a package: open and size it, transfer all its chunks, close it. When the
// work is destroyed it releases what its chunks still hold and reports the file to the
// transfer, which remembers it or deletes it.
class TransferSingleFileWork : public TransferWork, public SequentialWork {
  // The passkey: the constructor is public for std::make_shared, yet only Create can call it.
  struct Token {};

 public:
  static std::shared_ptr<TransferSingleFileWork> Create(
      std::shared_ptr<TransferWorkInterface> workInterface, std::shared_ptr<HttpSession> session,
      const std::shared_ptr<FileManifest>& manifest);
  TransferSingleFileWork(Token, std::shared_ptr<TransferWorkInterface> workInterface,
                         std::shared_ptr<HttpSession> session,
                         const std::shared_ptr<FileManifest>& manifest);
  ~TransferSingleFileWork() override;

  void Describe(boost::property_tree::ptree& tree) const override;
  void Reset() override;

  const std::shared_ptr<TransferMultipleChunksWork>& GetChunks() const { return chunks_; }

 private:
  const std::shared_ptr<TransferSharedFileData> file_;
  std::shared_ptr<TransferMultipleChunksWork> chunks_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_WORKS_TRANSFER_SINGLE_FILE_WORK_H_
