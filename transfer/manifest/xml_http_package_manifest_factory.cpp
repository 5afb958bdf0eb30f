#include "transfer/manifest/xml_http_package_manifest_factory.h"

#include "transfer/manifest/manifest_exception.h"
#include "transfer/manifest/manifest_url.h"
#include "transfer/manifest/standard_package_manifest.h"
#include "transfer/manifest/xml_http_manifest_source.h"

namespace zarn {

std::shared_ptr<PackageManifest> XmlHttpPackageManifestFactory::GetPackageManifest(
    const std::string& id, std::shared_ptr<HttpSession> session) {
  XmlHttpManifestSource source(GetUrl(id), requestFactory_, std::move(session), connectTimeout_,
                               timeout_);
  auto package = std::make_shared<StandardPackageManifest>();
  ReadManifest(source, id, *package);
  if (!IsSamePackage(package, id)) throw ManifestLocatorException();
  return package;
}

std::string XmlHttpPackageManifestFactory::GetUrl(const std::string& id) {
  const char* current = id.find('/') == std::string::npos ? "/current" : "";
  return MakeManifestUrl(host_, "/manifests/" + id + current + ".xml");
}

}  // namespace zarn
