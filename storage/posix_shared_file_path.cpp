#include "storage/posix_shared_file_path.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "storage/file_error.h"
#include "storage/file_exception.h"
#include "storage/file_mode.h"
#include "storage/folder_descriptor.h"
#include "storage/path_helpers.h"
#include "storage/text_conversion.h"

namespace zarn {
namespace {

std::vector<std::string> FileComponents(const std::string& file_name) {
  std::string name = file_name;
  std::replace(name.begin(), name.end(), '\\', '/');
  std::vector<std::string> components = SplitRelativePath(name);
  if (components.empty()) throw FileBadPathException();
  return components;
}

// The folder that holds the last component, walked from `folder` without following links.
FolderDescriptor WalkToParent(const std::string& folder, const std::vector<std::string>& components,
                              bool create_folders) {
  FolderDescriptor parent = FolderDescriptor::Open(folder);
  for (std::size_t i = 0; i + 1 < components.size(); ++i) {
    parent = parent.Child(components[i], create_folders, 0777);
  }
  return parent;
}

}  // namespace

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

int OpenFileBelow(const std::string& folder, const std::string& file_name, int flags,
                  bool create_folders) {
  const std::vector<std::string> components = FileComponents(file_name);
  const FolderDescriptor parent = WalkToParent(folder, components, create_folders);
  const std::string& name = components.back();
  int fd;
  do {
    fd =
        openat(parent.get(), name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, OwnerWritableMode(0666));
  } while (fd < 0 && errno == EINTR);
  if (fd >= 0) return fd;
  const int error = errno;
  // O_NOFOLLOW answers ELOOP, O_EXCL EEXIST, for a link in the file's place.
  if ((error == ELOOP || error == EEXIST) && parent.IsLink(name)) {
    throw FileInaccessibleException();
  }
  ThrowFileException(error, FileOperation::kOpen);
}

bool StatFileBelow(const std::string& folder, const std::string& file_name, struct stat* status) {
  try {
    const std::vector<std::string> components = FileComponents(file_name);
    const FolderDescriptor parent = WalkToParent(folder, components, false);
    return fstatat(parent.get(), components.back().c_str(), status, AT_SYMLINK_NOFOLLOW) == 0;
  } catch (...) {
    return false;
  }
}

bool UnlinkFileBelow(const std::string& folder, const std::string& file_name) {
  try {
    const std::vector<std::string> components = FileComponents(file_name);
    const FolderDescriptor parent = WalkToParent(folder, components, false);
    return unlinkat(parent.get(), components.back().c_str(), 0) == 0;
  } catch (...) {
    return false;
  }
}

}  // namespace zarn
