#ifndef ZARN_STORAGE_PATH_HELPERS_H_
#define ZARN_STORAGE_PATH_HELPERS_H_

#include <string>

namespace zarn {

// All paths are UTF-8. '/' is the only separator here.

// a followed by b: an empty b leaves a unchanged; otherwise one '/' goes between them
// unless a is empty, a ends with '/' or b begins with '/'. b is appended as it stands, even
// when it is absolute.
std::string JoinPath(const std::string& a, const std::string& b);

// relative itself when it is absolute; otherwise base, made absolute against the current
// folder, followed by relative (base alone when relative is empty). Throws
// std::filesystem::filesystem_error when the current folder cannot be read.
std::string ResolvePath(const std::string& base, const std::string& relative);

// The folder of this user's working data, as Windows gives every user a temporary folder
// of their own: TMPDIR, without trailing '/', when it is an absolute path to an existing
// folder (links followed); else the user's cache folder, which may not exist yet:
// XDG_CACHE_HOME when it is an absolute path, else .cache in the home folder (HOME when it
// is absolute, else the password database's); /tmp only when the home folder is missing.
// Never "" and never relative; never throws.
std::string GetTempFolder();

// The file name's part from its last '.', dot included (".exe"); "" when the file name has
// no dot or is "." or "..". Case is kept.
std::string GetPathExtension(const std::string& path);

}  // namespace zarn

#endif  // ZARN_STORAGE_PATH_HELPERS_H_
