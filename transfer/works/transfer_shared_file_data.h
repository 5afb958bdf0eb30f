#ifndef ZARN_TRANSFER_WORKS_TRANSFER_SHARED_FILE_DATA_H_
#define ZARN_TRANSFER_WORKS_TRANSFER_SHARED_FILE_DATA_H_

#include <cstdint>
#include <memory>
#include <string>

#include "work/work_descriptor.h"

namespace zarn {

class SharedFile;

// One file of a transfer, shared by its open, chunk and close works: the open file (set
// while it is open), its path below the destination folder and its size.
class TransferSharedFileData : public WorkDescriptor {
  // The passkey: the constructor is public for std::make_shared, yet only Create can call it.
  struct Token {};

 public:
  static std::shared_ptr<TransferSharedFileData> Create(const std::string& filePath,
                                                        const uint64_t& fileSize);
  TransferSharedFileData(Token, const std::string& filePath, uint64_t fileSize);
  TransferSharedFileData(const TransferSharedFileData&) = delete;
  TransferSharedFileData& operator=(const TransferSharedFileData&) = delete;
  ~TransferSharedFileData() override;

  // Writes "filePath" and "fileSize".
  void Describe(boost::property_tree::ptree& tree) const override;

  std::shared_ptr<SharedFile> sharedFile;
  const std::string filePath;
  const uint64_t fileSize;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_WORKS_TRANSFER_SHARED_FILE_DATA_H_
