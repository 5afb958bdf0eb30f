#include "transfer/manifest/manifest_url.h"

#include <Poco/URI.h>

#include "transfer/manifest/manifest_exception.h"

namespace zarn {

std::string MakeManifestUrl(const std::string& host, const std::string& path) {
  try {
    // The four-part form keeps the path literal; the three-part form would split it at
    // '?' and '#' and decode '%'.
    return Poco::URI("http", host, path, "").toString();
  } catch (...) {
    throw ManifestLocatorException();
  }
}

}  // namespace zarn
