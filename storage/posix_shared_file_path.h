#ifndef ZARN_STORAGE_POSIX_SHARED_FILE_PATH_H_
#define ZARN_STORAGE_POSIX_SHARED_FILE_PATH_H_

#include <string>

namespace zarn {

// The full path of folder/fileName, with '\' in fileName read as '/'. The path must be
// valid UTF-8. Any failure raises FileBadPathException.
std::string BuildFilePath(const std::string& folder, const std::string& file_name);

}  // namespace zarn

#endif  // ZARN_STORAGE_POSIX_SHARED_FILE_PATH_H_
