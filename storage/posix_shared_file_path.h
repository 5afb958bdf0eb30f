#ifndef ZARN_STORAGE_POSIX_SHARED_FILE_PATH_H_
#define ZARN_STORAGE_POSIX_SHARED_FILE_PATH_H_

#include <sys/stat.h>

#include <string>

namespace zarn {

// The full path of folder/fileName, with '\' in fileName read as '/'. The path must be
// valid UTF-8. Any failure raises FileBadPathException.
std::string BuildFilePath(const std::string& folder, const std::string& file_name);

// Opens folder/file_name ('\' read as '/') with `flags` | O_NOFOLLOW | O_CLOEXEC, and
// returns the descriptor. A new file gets mode 0644, a new sub-folder 0755, less the umask.
// `folder` is followed like any path; below it nothing is: each sub-folder is walked
// without following a link, and created when `create_folders`. A symbolic link anywhere below
// `folder`, the file included, raises FileInaccessibleException; a ".." component or an absolute
// file_name FileBadPathException; other failures the kind of their error number.
int OpenFileBelow(const std::string& folder, const std::string& file_name, int flags,
                  bool create_folders);

// The status of folder/file_name itself (a link is not followed), walking to it as
// OpenFileBelow does. False when a sub-folder cannot be walked or the name is missing;
// never throws.
bool StatFileBelow(const std::string& folder, const std::string& file_name, struct stat* status);

// Removes folder/file_name, walking to it as OpenFileBelow does (a link in a sub-folder's
// place fails; a link in the file's place is itself removed). True when it was removed;
// never throws.
bool UnlinkFileBelow(const std::string& folder, const std::string& file_name);

}  // namespace zarn

#endif  // ZARN_STORAGE_POSIX_SHARED_FILE_PATH_H_
