#ifndef ZARN_STORAGE_SHARED_FILE_FACTORY_H_
#define ZARN_STORAGE_SHARED_FILE_FACTORY_H_

#include <cstdint>
#include <memory>
#include <string>

#include "storage/shared_file.h"

namespace zarn {

// Creates and deletes shared files. Stateless. Paths are UTF-8; fileName may hold
// sub-folders below folder, separated by '/' or '\'.
class SharedFileFactory {
 public:
  virtual ~SharedFileFactory() = default;

  // Opens folder/fileName bounded to [lower, upper] (0 and UINT64_MAX for a file without
  // bounds), with the cursor at lower. OpenAlways and CreateNew create missing sub-folders
  // below folder; folder itself must exist ("" is the current folder). Throws the
  // FileException kinds (std::bad_alloc when out of memory).
  virtual std::shared_ptr<SharedFile> Create(const std::string& folder, const std::string& fileName,
                                             SharedFileOpenMode mode, uint64_t lower,
                                             uint64_t upper) = 0;

  // Deletes folder/fileName; true when it was deleted. Never throws.
  virtual bool Delete(const std::string& folder, const std::string& fileName) = 0;

  // True when fileName's extension is exactly one of ".exe", ".bat", ".com", ".cmd",
  // ".msi", ".vbs" (case-sensitive). Touches no file.
  virtual bool IsExecutable(const std::string& folder, const std::string& fileName) = 0;
};

}  // namespace zarn

#endif  // ZARN_STORAGE_SHARED_FILE_FACTORY_H_
