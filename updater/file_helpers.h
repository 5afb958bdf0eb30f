#ifndef ZARN_UPDATER_FILE_HELPERS_H_
#define ZARN_UPDATER_FILE_HELPERS_H_

#include <string>

namespace zarn {

// File-system helpers of the application. Paths are UTF-8. None of them throws.

// Whether anything (a folder or a file) exists at `path`.
bool FolderExists(const std::string& path);
// Creates `path` and the folders above it up to the temporary folder, and checks the
// whole chain, new or old, by the private-folder rule (CreatePrivateFolder), so that no
// other local user can plant files where the updater downloads and starts them. True when
// the folder exists afterwards and passed; false for a path outside the temporary folder.
bool CreateDirectories(const std::string& path);
// Whether `name` below `folder` is a regular file reached without following any link,
// `folder` passing the private-folder rule.
bool IsPlainFileIn(const std::string& folder, const std::string& name);
// The parent folder of `path`.
std::string ParentFolder(const std::string& path);
// Copies a regular file; false when `to` exists or anything fails.
bool CopyPath(const std::string& from, const std::string& to);
// Removes `path` (with everything below it when `recursive`); true when something was
// removed.
bool RemovePath(const std::string& path, bool recursive);
// RemovePath(JoinPath(folder, name), false).
bool RemoveFileAt(const std::string& folder, const std::string& name);

}  // namespace zarn

#endif  // ZARN_UPDATER_FILE_HELPERS_H_
