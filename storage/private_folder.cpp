#include "storage/private_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "storage/file_error.h"
#include "storage/file_exception.h"
#include "storage/path_helpers.h"

namespace zarn {
namespace {

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void reset(int fd) {
    if (fd_ >= 0) close(fd_);
    fd_ = fd;
  }

 private:
  int fd_;
};

std::vector<std::string> SplitComponents(const std::string& path) {
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

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// The part of `path` below the temporary folder, or "" (the folder itself).
std::string PartBelow(const std::string& temp, const std::string& path) {
  if (temp.empty()) {
    if (!path.empty() && path.front() == '/') throw FileBadPathException();
    return path;
  }
  const std::string prefix = temp == "/" ? temp : temp + '/';
  if (WithoutTrailingSlashes(path) == temp) return "";
  if (path.compare(0, prefix.size(), prefix) != 0) throw FileBadPathException();
  return path.substr(prefix.size());
}

// Opens the folder `name` below `parent` without following a link, creating it 0700 when
// missing, and checks that it is a folder of this user.
int OpenPrivateComponent(int parent, const std::string& name) {
  if (mkdirat(parent, name.c_str(), 0700) != 0 && errno != EEXIST) {
    ThrowFileException(errno, FileOperation::kOpen);
  }
  const int fd = openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    struct stat status {};
    if (fstatat(parent, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) {
      if (S_ISLNK(status.st_mode)) throw FileInaccessibleException();
      if (!S_ISDIR(status.st_mode)) throw FileBadPathException();
    }
    ThrowFileException(error, FileOperation::kOpen);
  }
  Descriptor folder(fd);
  struct stat status {};
  if (fstat(fd, &status) != 0) ThrowFileException(errno, FileOperation::kOpen);
  if (status.st_uid != geteuid()) throw FileInaccessibleException();
  return folder.release();
}

}  // namespace

void CreatePrivateFolder(const std::string& path) {
  const std::string temp = WithoutTrailingSlashes(GetTempFolder());
  const std::vector<std::string> components = SplitComponents(PartBelow(temp, path));
  Descriptor parent(AT_FDCWD);
  if (!temp.empty()) {
    const int fd = open(temp.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) ThrowFileException(errno, FileOperation::kOpen);
    parent.reset(fd);
  }
  for (const std::string& name : components) {
    parent.reset(OpenPrivateComponent(parent.get(), name));
  }
}

}  // namespace zarn
