#include "storage/posix_shared_file_path.h"

#include <algorithm>

#include "storage/file_exception.h"
#include "storage/path_helpers.h"
#include "storage/text_conversion.h"

namespace zarn {

std::string BuildFilePath(const std::string& folder, const std::string& file_name) {
  try {
    std::string name = file_name;
    std::replace(name.begin(), name.end(), '\\', '/');
    std::string path = ResolvePath(folder, name);
    Utf8ToWide(path);  // rejects a path that is not UTF-8
    return path;
  } catch (...) {
    throw FileBadPathException();
  }
}

}  // namespace zarn
