#ifndef ZARN_STORAGE_POSIX_SHARED_FILE_FACTORY_H_
#define ZARN_STORAGE_POSIX_SHARED_FILE_FACTORY_H_

#include "storage/shared_file_factory.h"

namespace zarn {

class PosixSharedFileFactory : public SharedFileFactory {
 public:
  std::shared_ptr<SharedFile> Create(const std::string& folder, const std::string& fileName,
                                     SharedFileOpenMode mode, uint64_t lower,
                                     uint64_t upper) override;
  bool Delete(const std::string& folder, const std::string& fileName) override;
  bool IsExecutable(const std::string& folder, const std::string& fileName) override;
};

}  // namespace zarn

#endif  // ZARN_STORAGE_POSIX_SHARED_FILE_FACTORY_H_
