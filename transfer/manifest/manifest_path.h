#ifndef ZARN_TRANSFER_MANIFEST_MANIFEST_PATH_H_
#define ZARN_TRANSFER_MANIFEST_MANIFEST_PATH_H_

#include <string>

namespace zarn {

// Normalises a file path from a package manifest so that it can only name a file below the
// destination folder: '\' is read as '/', empty and "." segments are dropped. A path that is
// absolute or rooted, starts with a drive ("C:"), holds a ".." segment or a control
// character (below 0x20, or 0x7F), or is empty once normalised throws
// ManifestParseException. Manifests arrive over plain HTTP, so a path is
// never trusted to stay inside the folder on its own.
std::string NormalizeManifestPath(const std::string& path);

}  // namespace zarn

#endif  // ZARN_TRANSFER_MANIFEST_MANIFEST_PATH_H_
