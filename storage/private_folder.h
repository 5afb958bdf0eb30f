#ifndef ZARN_STORAGE_PRIVATE_FOLDER_H_
#define ZARN_STORAGE_PRIVATE_FOLDER_H_

#include <string>

#include "storage/folder_descriptor.h"

namespace zarn {

// The one rule for every working folder (the data and skin folders, shortcuts, logs,
// transfers), whether it exists already or is created now: every component between the
// temporary folder (GetTempFolder) and `path` is a folder, not a symbolic link, owned by
// this user and writable by nobody else (a folder of this user with mode 0755 passes as
// it is). The temporary folder itself may be reached through a link, and shared only when
// it has the sticky bit, as /tmp has (mode 1777).
//
// Walks the chain one component at a time without following links, creating each missing
// component with mode 0700 when `create`, and returns the open folder. A link, a folder of
// another user or one writable by group or others, and a temporary folder writable by
// group or others without the sticky bit raise FileInaccessibleException; a component that
// is not a folder, or a path outside the temporary folder, FileBadPathException; other
// failures the kind of their error number.
FolderDescriptor OpenPrivateFolder(const std::string& path, bool create);

// OpenPrivateFolder(path, true), the folder closed again.
void CreatePrivateFolder(const std::string& path);

}  // namespace zarn

#endif  // ZARN_STORAGE_PRIVATE_FOLDER_H_
