#include "storage/posix_shared_file_factory.h"

#include <algorithm>

#include "storage/path_helpers.h"
#include "storage/posix_shared_file.h"
#include "storage/posix_shared_file_path.h"

namespace zarn {

std::shared_ptr<SharedFile> PosixSharedFileFactory::Create(const std::string& folder,
                                                           const std::string& fileName,
                                                           SharedFileOpenMode mode, uint64_t lower,
                                                           uint64_t upper) {
  return std::make_shared<PosixSharedFile>(folder, fileName, mode, lower, upper);
}

bool PosixSharedFileFactory::Delete(const std::string& folder, const std::string& fileName) {
  try {
    BuildFilePath(folder, fileName);  // refuses a name that is not UTF-8
    return UnlinkFileBelow(folder, fileName);
  } catch (...) {
    return false;
  }
}

bool PosixSharedFileFactory::IsExecutable(const std::string& /*folder*/,
                                          const std::string& fileName) {
  std::string name = fileName;
  std::replace(name.begin(), name.end(), '\\', '/');
  const std::string extension = GetPathExtension(name);
  for (const char* executable : {".exe", ".bat", ".com", ".cmd", ".msi", ".vbs"}) {
    if (extension == executable) return true;
  }
  return false;
}

}  // namespace zarn
