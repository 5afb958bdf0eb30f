#ifndef ZARN_STORAGE_PRIVATE_FOLDER_H_
#define ZARN_STORAGE_PRIVATE_FOLDER_H_

#include <string>

namespace zarn {

// Creates the folder `path` and every missing folder between the temporary folder
// (GetTempFolder) and it, each with mode 0700. Every component below the temporary folder,
// existing or new, must be a real folder owned by this user: a symbolic link or a folder
// of another user raises FileInaccessibleException, a component that is not a folder
// FileBadPathException. When the temporary folder is unknown (""), path is relative and
// each of its components is checked. A path outside the temporary folder raises
// FileBadPathException. Other failures raise the kind of their error number.
void CreatePrivateFolder(const std::string& path);

}  // namespace zarn

#endif  // ZARN_STORAGE_PRIVATE_FOLDER_H_
