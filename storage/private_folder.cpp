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
#include "storage/id_map.h"
#include "storage/path_helpers.h"
#include "storage/private_group.h"

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

// The overflow id (/proc/sys/kernel/overflowuid) when root's files show as it in this
// process's user namespace, which then does not map root; nullopt where root shows as
// itself, or where a user the namespace maps shows as that id. Read from what the
// namespace shows, the owner of that file of root's, not from /proc/self/uid_map, whose
// outside column counts in the parent namespace: nested below one that maps the user to 0
// (bwrap with --dev), the map reads "UID 0 1" and its 0 is the user.
std::optional<uid_t> RootShownAsOverflow() {
  constexpr char kOverflow[] = "/proc/sys/kernel/overflowuid";
  const std::optional<IdMap> map = IdMap::Read("/proc/self/uid_map");
  if (!map || map->IsWhole()) return std::nullopt;
  const std::optional<unsigned long> overflow = ReadNumber(kOverflow);
  struct stat status {};
  if (!overflow || map->Shows(*overflow) || stat(kOverflow, &status) != 0 ||
      status.st_uid != *overflow) {
    return std::nullopt;
  }
  return static_cast<uid_t>(*overflow);
}

struct stat StatusOf(const FolderDescriptor& folder) {
  struct stat status {};
  if (fstat(folder.get(), &status) != 0) ThrowFileException(errno, FileOperation::kOpen);
  return status;
}

// Whether nobody but the owner may write into the folder of `status`: no write bit for
// others, and one for the group only where that is the owner's private group.
bool OnlyOwnerMayWrite(const struct stat& status) {
  if ((status.st_mode & S_IWOTH) != 0) return false;
  return (status.st_mode & S_IWGRP) == 0 || IsPrivateGroup(status.st_gid, status.st_uid);
}

// The owners trusted on the way to the temporary folder: root and this user. Inside a user
// namespace that does not map root (a rootless sandbox), root's files, / and /tmp among
// them, show as the overflow id, as those of every user the namespace does not map do.
// There an entry of that id counts as root's only where only root could have made it: in
// a folder that nobody but its owner may write. / itself passes, and so do /home and /tmp
// in it; an entry of a shared folder, /tmp/x, must be this user's own. Another user's
// folder in one that only root may write (a home) cannot be told from root's there.
class TrustedOwners {
 public:
  TrustedOwners() : user_(geteuid()), rootShownAs_(RootShownAsOverflow()) {}

  // Whether the owner of `entry`, found in `container` (nullptr for the root), is trusted.
  bool Trust(const struct stat& entry, const FolderDescriptor* container) const {
    if (entry.st_uid == 0 || entry.st_uid == user_) return true;
    if (!rootShownAs_ || entry.st_uid != *rootShownAs_) return false;
    return container == nullptr || OnlyOwnerMayWrite(StatusOf(*container));
  }

 private:
  uid_t user_;
  std::optional<uid_t> rootShownAs_;
};

// Another user who owns a folder of the chain, or may write into one, could swap what the
// updater downloads and then starts.
void CheckPrivate(const FolderDescriptor& folder) {
  const struct stat status = StatusOf(folder);
  if (status.st_uid != geteuid() || !OnlyOwnerMayWrite(status)) throw FileInaccessibleException();
}

// A folder on the way to the working folders may be shared, as / and /tmp are: it belongs
// to root or this user, and others may write into it only with the sticky bit, under which
// nobody renames or removes an entry that is not theirs. Without that, whoever may write
// into it can swap the whole chain below it, and the run file is started by its path.
// `container` holds it, nullptr for the root.
void CheckShared(const FolderDescriptor& folder, const FolderDescriptor* container,
                 const TrustedOwners& owners) {
  const struct stat status = StatusOf(folder);
  if (!owners.Trust(status, container) ||
      ((status.st_mode & S_ISVTX) == 0 && !OnlyOwnerMayWrite(status))) {
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
  if (!owners.Trust(status, &folder)) throw FileInaccessibleException();
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
  CheckShared(chain.back(), nullptr, owners);
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
    CheckShared(chain.back(), &chain[chain.size() - 2], owners);
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
