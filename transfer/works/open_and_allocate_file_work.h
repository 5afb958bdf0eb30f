#ifndef ZARN_TRANSFER_WORKS_OPEN_AND_ALLOCATE_FILE_WORK_H_
#define ZARN_TRANSFER_WORKS_OPEN_AND_ALLOCATE_FILE_WORK_H_

#include <memory>

#include "transfer/works/transfer_work.h"
#include "work/simple_work.h"

namespace zarn {

class SharedFile;
class TransferSharedFileData;

// Opens (or creates) a file below the destination folder, bounded to its size, and gives
// it that size when it is empty; a file of another length is deleted and made again once.
// A freshly sized executable is denied execution until the package is complete.
class OpenAndAllocateFileWork : public TransferWork, public SimpleWork {
  // The passkey: the constructor is public for std::make_shared, yet only Create can call it.
  struct Token {};

 public:
  static std::shared_ptr<OpenAndAllocateFileWork> Create(
      std::shared_ptr<TransferWorkInterface> workInterface,
      std::shared_ptr<TransferSharedFileData> file);
  OpenAndAllocateFileWork(Token, std::shared_ptr<TransferWorkInterface> workInterface,
                          std::shared_ptr<TransferSharedFileData> file);

  void Describe(boost::property_tree::ptree& tree) const override;
  void Reset() override;
  WorkStatus ExecuteTask() override;
  void OnCancel() override {}

  // The open file, sized; throws the file exceptions (FileInUseException when a file of
  // the wrong length cannot be replaced).
  std::shared_ptr<SharedFile> OpenAndAllocate(bool retryAfterDelete);

 private:
  const std::shared_ptr<TransferSharedFileData> file_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_WORKS_OPEN_AND_ALLOCATE_FILE_WORK_H_
