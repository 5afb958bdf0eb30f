#include "storage/folder_descriptor.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "storage/file_error.h"
#include "storage/file_exception.h"
#include "storage/file_mode.h"

namespace zarn {
namespace {

// A folder is opened only to be walked, never listed: reaching it needs search permission
// on the folders above it and nothing on itself, as reaching it by its path does. A home
// below a /home of mode 0711 is reached although nobody but root may list /home.
constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;

}  // namespace

FolderDescriptor FolderDescriptor::Open(const std::string& path) {
  const int fd = open(path.empty() ? "." : path.c_str(), kFolderFlags);
  if (fd < 0) ThrowFileException(errno, FileOperation::kOpen);
  return FolderDescriptor(fd);
}

FolderDescriptor::FolderDescriptor(FolderDescriptor&& other) noexcept : fd_(other.fd_) {
  other.fd_ = -1;
}

FolderDescriptor& FolderDescriptor::operator=(FolderDescriptor&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

FolderDescriptor::~FolderDescriptor() {
  if (fd_ >= 0) close(fd_);
}

FolderDescriptor FolderDescriptor::Child(const std::string& name, bool create, mode_t mode) const {
  if (create && mkdirat(fd_, name.c_str(), OwnerWritableMode(mode)) != 0 && errno != EEXIST) {
    ThrowFileException(errno, FileOperation::kOpen);
  }
  const int fd = openat(fd_, name.c_str(), kFolderFlags | O_NOFOLLOW);
  if (fd >= 0) return FolderDescriptor(fd);
  const int error = errno;
  struct stat status {};
  if (fstatat(fd_, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
    if (S_ISLNK(status.st_mode)) throw FileInaccessibleException();
    if (!S_ISDIR(status.st_mode)) throw FileBadPathException();
  }
  ThrowFileException(error, FileOperation::kOpen);
}

bool FolderDescriptor::IsLink(const std::string& name) const {
  struct stat status {};
  return fstatat(fd_, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(status.st_mode);
}

std::vector<std::string> SplitRelativePath(const std::string& path) {
  if (!path.empty() && path.front() == '/') throw FileBadPathException();
  std::vector<std::string> components;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    const std::string name = path.substr(start, end - start);
    if (name == "..") throw FileBadPathException();
    if (!name.empty() && name != ".") components.push_back(name);
    start = end + 1;
  }
  return components;
}

}  // namespace zarn
