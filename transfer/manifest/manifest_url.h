#ifndef ZARN_TRANSFER_MANIFEST_MANIFEST_URL_H_
#define ZARN_TRANSFER_MANIFEST_MANIFEST_URL_H_

#include <string>

namespace zarn {

// "http://" + host + path, with path taken literally and percent-encoded where a path
// requires it: '?', '#', '%' and ':' in an identifier stay part of the path and are never
// read as a query, a fragment, an escape or a scheme. Throws ManifestLocatorException
// when the URL cannot be built (a bad port, say).
std::string MakeManifestUrl(const std::string& host, const std::string& path);

}  // namespace zarn

#endif  // ZARN_TRANSFER_MANIFEST_MANIFEST_URL_H_
