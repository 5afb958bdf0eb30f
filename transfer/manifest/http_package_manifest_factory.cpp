#include "transfer/manifest/http_package_manifest_factory.h"

#include "transfer/manifest/manifest_key.h"
#include "transfer/manifest/package_manifest.h"

namespace zarn {

HttpPackageManifestFactory::HttpPackageManifestFactory(const std::string& host,
                                                       HttpRequestFactory* requestFactory,
                                                       uint32_t connectTimeout, uint32_t timeout)
    : host_(host),
      requestFactory_(requestFactory),
      connectTimeout_(connectTimeout),
      timeout_(timeout) {}

std::shared_ptr<PackageManifest> HttpPackageManifestFactory::GetPackageManifest(
    const std::string& id) {
  return GetPackageManifest(id, std::shared_ptr<HttpSession>());
}

bool HttpPackageManifestFactory::IsSamePackage(std::shared_ptr<PackageManifest> package,
                                               const std::string& key) {
  const auto parts = SplitAtFirstSlash(key);
  if (package->GetId() != parts.first) return false;
  return parts.second.empty() || package->GetVersionId() == parts.second;
}

}  // namespace zarn
