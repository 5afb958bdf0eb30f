#include "storage/private_group.h"

#include <grp.h>
#include <pwd.h>

#include <cerrno>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "storage/id_map.h"

namespace zarn {
namespace {

// Large enough for any ordinary entry; a larger one counts as not found.
constexpr std::size_t kEntryBuffer = 1 << 16;

gid_t OverflowGroup() {
  std::ifstream file("/proc/sys/kernel/overflowgid");
  gid_t group = 65534;  // the kernel's default
  file >> group;
  return group;
}

// The names of the members that the database lists for `group`; nullopt when it has no
// entry or cannot be read.
std::optional<std::vector<std::string>> MembersOf(gid_t group) {
  std::vector<char> buffer(kEntryBuffer);
  struct group entry {};
  struct group* found = nullptr;
  if (getgrgid_r(group, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
    return std::nullopt;
  }
  std::vector<std::string> members;
  for (char** member = found->gr_mem; *member != nullptr; ++member) members.push_back(*member);
  return members;
}

// The account name of `user`, "" when it has none.
std::string NameOf(uid_t user) {
  std::vector<char> buffer(kEntryBuffer);
  struct passwd entry {};
  struct passwd* found = nullptr;
  if (getpwuid_r(user, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
    return "";
  }
  return found->pw_name;
}

// Whether an account other than `owner`'s has `group` as its primary group; true too when
// the database cannot be read to the end. The enumeration is one stream for the whole
// process: one walk at a time.
bool PrimaryOfAnother(gid_t group, uid_t owner) {
  static std::mutex enumerating;
  const std::lock_guard<std::mutex> lock(enumerating);
  std::vector<char> buffer(kEntryBuffer);
  struct passwd entry {};
  struct passwd* found = nullptr;
  int error = 0;
  bool another = false;
  setpwent();
  while (!another && (error = getpwent_r(&entry, buffer.data(), buffer.size(), &found)) == 0) {
    another = found->pw_gid == group && found->pw_uid != owner;
  }
  endpwent();
  return another || error != ENOENT;
}

}  // namespace

bool IsPrivateGroup(gid_t group, uid_t owner) {
  const std::optional<IdMap> map = IdMap::Read("/proc/self/gid_map");
  if (group == OverflowGroup() || !map || !map->MapsToItself(group)) return false;
  const std::optional<std::vector<std::string>> members = MembersOf(group);
  if (!members) return false;
  if (!members->empty()) {
    const std::string name = NameOf(owner);
    for (const std::string& member : *members) {
      if (name.empty() || member != name) return false;
    }
  }
  return !PrimaryOfAnother(group, owner);
}

}  // namespace zarn
