#include "transfer/manifest/manifest_path.h"

#include <cctype>

#include "transfer/manifest/manifest_exception.h"

namespace zarn {
namespace {

bool HasDrive(const std::string& path) {
  return path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':';
}

// A NUL would cut the name short at the file system, and other control characters have no
// business in a file name.
bool IsControl(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u < 0x20 || u == 0x7F;
}

}  // namespace

std::string NormalizeManifestPath(const std::string& path) {
  std::string slashed = path;
  for (char& c : slashed) {
    if (IsControl(c)) throw ManifestParseException();
    if (c == '\\') c = '/';
  }
  if (!slashed.empty() && slashed[0] == '/') throw ManifestParseException();
  if (HasDrive(slashed)) throw ManifestParseException();

  std::string normalized;
  std::size_t begin = 0;
  while (begin <= slashed.size()) {
    std::size_t end = slashed.find('/', begin);
    if (end == std::string::npos) end = slashed.size();
    const std::string segment = slashed.substr(begin, end - begin);
    begin = end + 1;
    if (segment.empty() || segment == ".") continue;
    if (segment == "..") throw ManifestParseException();
    if (segment.size() > kMaxManifestPathComponentBytes) throw ManifestParseException();
    if (!normalized.empty()) normalized += '/';
    normalized += segment;
    // Checked as the path grows: a path of megabytes costs no more than the bound.
    if (normalized.size() > kMaxManifestPathBytes) throw ManifestParseException();
  }
  if (normalized.empty()) throw ManifestParseException();
  return normalized;
}

}  // namespace zarn
