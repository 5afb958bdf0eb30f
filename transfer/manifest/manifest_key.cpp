#include "transfer/manifest/manifest_key.h"

namespace zarn {

std::string AppendPathSegment(const std::string& base, const std::string& part) {
  if (part.empty()) return base;
  return base + "/" + part;
}

std::pair<std::string, std::string> SplitAtFirstSlash(const std::string& key) {
  const std::size_t slash = key.find('/');
  if (slash == std::string::npos) return {key, std::string()};
  return {key.substr(0, slash), key.substr(slash + 1)};
}

}  // namespace zarn
