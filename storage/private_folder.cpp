#include "storage/private_folder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "storage/file_error.h"
#include "storage/file_exception.h"
#include "storage/path_helpers.h"

namespace zarn {
namespace {

// The part of `path` below the temporary folder `temp`, or "" (the folder itself).
std::string PartBelow(const std::string& temp, const std::string& path) {
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  if (trimmed == temp) return "";
  const std::string prefix = temp == "/" ? temp : temp + '/';
  if (path.compare(0, prefix.size(), prefix) != 0) throw FileBadPathException();
  const std::size_t below = path.find_first_not_of('/', prefix.size());
  return below == std::string::npos ? "" : path.substr(below);
}

// Another user who owns a folder of the chain, or may write into one, could swap what the
// updater downloads and then starts.
void CheckPrivate(const FolderDescriptor& folder) {
  struct stat status {};
  if (fstat(folder.get(), &status) != 0) ThrowFileException(errno, FileOperation::kOpen);
  if (status.st_uid != geteuid() || (status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    throw FileInaccessibleException();
  }
}

// The temporary folder may be shared, as /tmp is, only with the sticky bit: without it
// anyone who may write into it can rename the product's folder in it, and the run file is
// started by its path.
void CheckTemporary(const FolderDescriptor& folder) {
  struct stat status {};
  if (fstat(folder.get(), &status) != 0) ThrowFileException(errno, FileOperation::kOpen);
  if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (status.st_mode & S_ISVTX) == 0) {
    throw FileInaccessibleException();
  }
}

}  // namespace

FolderDescriptor OpenPrivateFolder(const std::string& path, bool create) {
  const std::string temp = GetTempFolder();
  const std::vector<std::string> components = SplitRelativePath(PartBelow(temp, path));
  FolderDescriptor folder = FolderDescriptor::Open(temp);
  CheckTemporary(folder);
  for (const std::string& name : components) {
    folder = folder.Child(name, create, 0700);
    CheckPrivate(folder);
  }
  return folder;
}

void CreatePrivateFolder(const std::string& path) { OpenPrivateFolder(path, true); }

}  // namespace zarn
