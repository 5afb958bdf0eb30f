#include "updater/file_helpers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "storage/path_helpers.h"
#include "storage/posix_shared_file_path.h"
#include "storage/private_folder.h"

namespace zarn {

namespace fs = std::filesystem;

bool FolderExists(const std::string& path) {
  std::error_code error;
  return fs::exists(fs::u8path(path), error);
}

bool CreateDirectories(const std::string& path) {
  try {
    CreatePrivateFolder(path);
    return true;
  } catch (...) {
    return false;
  }
}

bool IsPlainFileIn(const std::string& folder, const std::string& name) {
  try {
    OpenPrivateFolder(folder, false);
    const int fd = OpenFileBelow(folder, name, O_RDONLY | O_NONBLOCK, false);
    struct stat status {};
    const bool plain = fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
    close(fd);
    return plain;
  } catch (...) {
    return false;
  }
}

std::string ParentFolder(const std::string& path) {
  try {
    return fs::u8path(path).parent_path().u8string();
  } catch (...) {
    return "";
  }
}

bool CopyPath(const std::string& from, const std::string& to) {
  std::error_code error;
  fs::copy(fs::u8path(from), fs::u8path(to), error);
  return !error;
}

bool RemovePath(const std::string& path, bool recursive) {
  try {
    std::error_code error;
    if (recursive) {
      auto removed = fs::remove_all(fs::u8path(path), error);
      return !error && removed != static_cast<std::uintmax_t>(-1) && removed > 0;
    }
    return fs::remove(fs::u8path(path), error) && !error;
  } catch (...) {
    return false;
  }
}

bool RemoveFileAt(const std::string& folder, const std::string& name) {
  try {
    return RemovePath(JoinPath(folder, name), false);
  } catch (...) {
    return false;
  }
}

}  // namespace zarn
