#ifndef ZARN_STORAGE_TESTING_IN_CHILD_H_
#define ZARN_STORAGE_TESTING_IN_CHILD_H_

#include <sys/types.h>

#include <functional>
#include <string>

namespace zarn {

// Test support for checks that must run with another identity than the test's: another
// user, a user namespace. Each changes the whole process for good, so it happens in a
// forked child.

// Runs `body` in a forked child and answers what it answered: "" when all went well, else
// what failed. An exception out of `body`, or the child's death, is a failure too. The
// child never returns into the test.
std::string RunInChild(const std::function<std::string()>& body);

// In a child: becomes the user and group `id`, without supplementary groups, and with
// that without any capability (the suite may run as root, who reads and writes past every
// mode). "" or what failed.
std::string BecomeUser(uid_t id);

// In a child: enters a user namespace of its own that maps only this user and group to
// themselves, as `unshare --user --map-current-user` and rootless sandboxes do. Root and
// every other user's files then show as the overflow id. "" or what failed (the kernel
// may forbid user namespaces).
std::string EnterUserNamespace();

// In a child: enters a user namespace that maps this user and group to 0, and in it a
// nested one that maps 0 back to them, as `bwrap ... --dev /dev` and
// `unshare -Ur unshare --user --map-user=UID` do: the nested /proc/self/uid_map reads
// "UID 0 1", its 0 the user's id in the namespace between. "" or what failed.
std::string EnterNestedUserNamespace();

// In a child, as root: becomes the user and group `id` (BecomeUser) and enters a user
// namespace of its own with the maps `uid_map` and `gid_map` ("inside outside count"
// lines), which may map other users too, as newuidmap does from subordinate ids. "" or
// what failed.
std::string EnterUserNamespaceWithMaps(uid_t id, const std::string& uid_map,
                                       const std::string& gid_map);

// In a child, as root: shows a file holding `content` at `path` to this process alone, in
// a mount namespace of its own (a test's own account database at /etc/passwd, say). "" or
// what failed.
std::string ShowFileAt(const std::string& path, const std::string& content);

}  // namespace zarn

#endif  // ZARN_STORAGE_TESTING_IN_CHILD_H_
