#ifndef ZARN_STORAGE_FOLDER_DESCRIPTOR_H_
#define ZARN_STORAGE_FOLDER_DESCRIPTOR_H_

#include <sys/types.h>

#include <string>
#include <vector>

namespace zarn {

// An open folder, the base of walks that never follow a symbolic link: a folder another
// user swaps for a link between two calls cannot redirect a walk that holds the folder
// itself. The folder is opened only as the base of such walks (O_PATH): it can be neither
// listed nor read. Move-only; closes the descriptor on destruction.
class FolderDescriptor {
 public:
  // Opens the folder `path` ("" is the current folder); links in `path` are followed.
  // Throws the FileException kind of the error.
  static FolderDescriptor Open(const std::string& path);

  FolderDescriptor(FolderDescriptor&& other) noexcept;
  FolderDescriptor& operator=(FolderDescriptor&& other) noexcept;
  FolderDescriptor(const FolderDescriptor&) = delete;
  FolderDescriptor& operator=(const FolderDescriptor&) = delete;
  ~FolderDescriptor();

  // The folder `name` (one component) inside this one, without following a link; when
  // `create` it is made first if missing, with `mode` less the write bits of group and
  // others (OwnerWritableMode), whatever the umask. A link raises
  // FileInaccessibleException, anything else that is not a folder FileBadPathException,
  // other failures the kind of their error number.
  FolderDescriptor Child(const std::string& name, bool create, mode_t mode) const;

  // Whether `name` inside this folder is a symbolic link. Never throws.
  bool IsLink(const std::string& name) const;

  int get() const { return fd_; }

 private:
  explicit FolderDescriptor(int fd) : fd_(fd) {}

  int fd_;
};

// The components of the relative path `path`, '/' separated; empty and "." components are
// dropped. An absolute path or a ".." component raises FileBadPathException.
std::vector<std::string> SplitRelativePath(const std::string& path);

}  // namespace zarn

#endif  // ZARN_STORAGE_FOLDER_DESCRIPTOR_H_
