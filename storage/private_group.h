#ifndef ZARN_STORAGE_PRIVATE_GROUP_H_
#define ZARN_STORAGE_PRIVATE_GROUP_H_

#include <sys/types.h>

namespace zarn {

// Whether the group `group` gives write to nobody but `owner`: it is the primary group of
// no other account and lists no member but the owner, as a user's own group is where
// every user has one (Debian's user private groups, with a umask of 002). The overflow
// gid (/proc/sys/kernel/overflowgid), which stands for every group a user namespace does
// not map, never is; nor is a group unknown to the account database, nor, inside a user
// namespace, one that the namespace shows by another id than its parent's: the database
// names groups by their ids outside. Any thread may call it.
bool IsPrivateGroup(gid_t group, uid_t owner);

}  // namespace zarn

#endif  // ZARN_STORAGE_PRIVATE_GROUP_H_
