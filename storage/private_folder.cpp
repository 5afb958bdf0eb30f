#include "storage/private_folder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <deque>
#include <fstream>
#include <optional>
#include <vector>

#include "storage/file_error.h"
#include "storage/file_exception.h"
#include "storage/path_helpers.h"

namespace zarn {
namespace {

// The kernel's own bound on the links followed in one path.
constexpr int kMaxLinks = 40;

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

// The '/' separated components of `path`, ".." and "." kept; empty ones dropped.
std::deque<std::string> Components(const std::string& path) {
  std::deque<std::string> components;
  std::size_t start = 0;
  while (start < path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    if (end > start) components.push_back(path.substr(start, end - start));
    start = end + 1;
  }
  return components;
}

// The number that the file `path` begins with; nullopt when it cannot be read.
std::optional<unsigned long> ReadNumber(const char* path) {
  std::ifstream file(path);
  unsigned long number = 0;
  if (!(file >> number)) return std::nullopt;
  return number;
}

// Whether root of the first user namespace shows as itself in this process's namespace:
// /proc/self/uid_map holds a range whose outside start is 0 (the first namespace maps all
// ids: "0 0 4294967295"). Unreadable counts as mapped.
bool RootMapped() {
  std::ifstream map("/proc/self/uid_map");
  if (!map) return true;
  unsigned long inside = 0, outside = 0, count = 0;
  while (map >> inside >> outside >> count) {
    if (outside == 0 && count > 0) return true;
  }
  return !map.eof();
}

// The owners trusted on the way to the temporary folder: root and this user. Inside a user
// namespace that does not map root (a rootless sandbox), root's folders, / and /tmp among
// them, show as the overflow id, as those of every other user outside the namespace do;
// from inside nobody can tell them apart, so there the overflow id counts as root.
class TrustedOwners {
 public:
  TrustedOwners() : user_(geteuid()) {
    if (!RootMapped()) rootShownAs_ = ReadNumber("/proc/sys/kernel/overflowuid");
  }

  bool Trust(const struct stat& status) const {
    return status.st_uid == 0 || status.st_uid == user_ ||
           (rootShownAs_ && status.st_uid == *rootShownAs_);
  }

 private:
  uid_t user_;
  std::optional<unsigned long> rootShownAs_;
};

struct stat StatusOf(const FolderDescriptor& folder) {
  struct stat status {};
  if (fstat(folder.get(), &status) != 0) ThrowFileException(errno, FileOperation::kOpen);
  return status;
}

// Another user who owns a folder of the chain, or may write into one, could swap what the
// updater downloads and then starts.
void CheckPrivate(const FolderDescriptor& folder) {
  const struct stat status = StatusOf(folder);
  if (status.st_uid != geteuid() || (status.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    throw FileInaccessibleException();
  }
}

// A folder on the way to the working folders may be shared, as / and /tmp are: it belongs
// to root or this user, and others may write into it only with the sticky bit, under which
// nobody renames or removes an entry that is not theirs. Without that, whoever may write
// into it can swap the whole chain below it, and the run file is started by its path.
void CheckShared(const FolderDescriptor& folder, const TrustedOwners& owners) {
  const struct stat status = StatusOf(folder);
  const bool shared = (status.st_mode & (S_IWGRP | S_IWOTH)) != 0;
  if (!owners.Trust(status) || (shared && (status.st_mode & S_ISVTX) == 0)) {
    throw FileInaccessibleException();
  }
}

// The target of `name` in `folder` when it is a symbolic link, nullopt when it is not. A
// link of anyone but root or this user raises FileInaccessibleException: its owner may
// point it elsewhere at any time.
std::optional<std::string> TrustedLinkTarget(const FolderDescriptor& folder,
                                             const std::string& name, const TrustedOwners& owners) {
  struct stat status {};
  if (fstatat(folder.get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
      !S_ISLNK(status.st_mode)) {
    return std::nullopt;  // opening it reports what is wrong
  }
  if (!owners.Trust(status)) throw FileInaccessibleException();
  char target[PATH_MAX];
  const ssize_t length = readlinkat(folder.get(), name.c_str(), target, sizeof target);
  if (length < 0) ThrowFileException(errno, FileOperation::kOpen);
  if (length == 0 || static_cast<std::size_t>(length) == sizeof target) {
    throw FileBadPathException();
  }
  return std::string(target, static_cast<std::size_t>(length));
}

// Opens the absolute folder `path` as the kernel resolves it, from the root one component
// at a time, each folder on the way passing CheckShared and each link its owner's check
// before its target is walked the same way. ".." goes back along the folders walked. When
// `create`, a missing last folder is made 0700: the user's cache folder may not exist yet.
FolderDescriptor OpenSharedChain(const std::string& path, bool create) {
  const TrustedOwners owners;
  std::vector<FolderDescriptor> chain;
  chain.push_back(FolderDescriptor::Open("/"));
  CheckShared(chain.back(), owners);
  std::deque<std::string> pending = Components(path);
  int links = 0;
  while (!pending.empty()) {
    const std::string name = pending.front();
    pending.pop_front();
    if (name == ".") continue;
    if (name == "..") {
      if (chain.size() > 1) chain.pop_back();
      continue;
    }
    if (const std::optional<std::string> target = TrustedLinkTarget(chain.back(), name, owners)) {
      if (++links > kMaxLinks) throw FileBadPathException();
      if (target->front() == '/') chain.erase(chain.begin() + 1, chain.end());
      const std::deque<std::string> inner = Components(*target);
      pending.insert(pending.begin(), inner.begin(), inner.end());
      continue;
    }
    chain.push_back(chain.back().Child(name, create && pending.empty(), 0700));
    CheckShared(chain.back(), owners);
  }
  return std::move(chain.back());
}

}  // namespace

FolderDescriptor OpenPrivateFolder(const std::string& path, bool create) {
  const std::string temp = GetTempFolder();
  const std::vector<std::string> components = SplitRelativePath(PartBelow(temp, path));
  FolderDescriptor folder = OpenSharedChain(temp, create);
  for (const std::string& name : components) {
    folder = folder.Child(name, create, 0700);
    CheckPrivate(folder);
  }
  return folder;
}

void CreatePrivateFolder(const std::string& path) { OpenPrivateFolder(path, true); }

}  // namespace zarn
