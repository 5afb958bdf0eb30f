#ifndef ZARN_TRANSFER_MANIFEST_MANIFEST_PATH_H_
#define ZARN_TRANSFER_MANIFEST_MANIFEST_PATH_H_

#include <cstddef>
#include <string>

namespace zarn {

// The longest path and the longest path segment that Linux file systems hold (PATH_MAX
// and NAME_MAX), in bytes. Longer ones could never be created; until refused, each byte
// would be in every work-log line of the file's chunks and every segment a folder.
constexpr std::size_t kMaxManifestPathBytes = 4096;
constexpr std::size_t kMaxManifestPathComponentBytes = 255;

// Normalises a file path from a package manifest so that it can only name a file below the
// destination folder: '\' is read as '/', empty and "." segments are dropped. A path that is
// absolute or rooted, starts with a drive ("C:"), holds a ".." segment or a control
// character (below 0x20, or 0x7F), is empty once normalised, or is longer once normalised
// than kMaxManifestPathBytes or has a segment longer than kMaxManifestPathComponentBytes
// throws ManifestParseException. Manifests arrive over plain HTTP, so a path is never
// trusted to stay inside the folder, nor to fit in it, on its own.
std::string NormalizeManifestPath(const std::string& path);

}  // namespace zarn

#endif  // ZARN_TRANSFER_MANIFEST_MANIFEST_PATH_H_
