#ifndef ZARN_STORAGE_PRIVATE_FOLDER_H_
#define ZARN_STORAGE_PRIVATE_FOLDER_H_

#include <string>

#include "storage/folder_descriptor.h"

namespace zarn {

// The one rule for every working folder (the data and skin folders, shortcuts, logs,
// transfers), whether it exists already or is created now: every component between the
// temporary folder (GetTempFolder) and `path` is a folder, not a symbolic link, owned by
// this user and writable by nobody else (a folder of this user with mode 0755 passes as
// it is, and one its group may write where that is the user's private group:
// IsPrivateGroup). Every folder from the root down to the temporary folder, that one
// included, is owned by root or this user and writable by others only with the sticky
// bit, as / (0755) and /tmp (1777) are, or by a group that is its owner's private group;
// a link on the way is followed only when root or this user owns it, and its target is
// walked by the same rule. Those folders need only let this user pass (search
// permission), not list them. Inside a user namespace that does not map root, where
// root's files show as the overflow id (/proc/sys/kernel/overflowuid), a folder or link
// of that id counts as root's on that way only in a folder nobody but its owner may write.
//
// Walks the chain one component at a time, creating the temporary folder itself and each
// missing component below it with mode 0700 when `create`, and returns the open folder. A
// folder or link that fails the rule raises FileInaccessibleException; a component that
// is not a folder, too many links, or a path outside the temporary folder
// FileBadPathException; other failures the kind of their error number.
FolderDescriptor OpenPrivateFolder(const std::string& path, bool create);

// OpenPrivateFolder(path, true), the folder closed again.
void CreatePrivateFolder(const std::string& path);

}  // namespace zarn

#endif  // ZARN_STORAGE_PRIVATE_FOLDER_H_
