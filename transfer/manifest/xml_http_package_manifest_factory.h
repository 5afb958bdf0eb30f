#ifndef ZARN_TRANSFER_MANIFEST_XML_HTTP_PACKAGE_MANIFEST_FACTORY_H_
#define ZARN_TRANSFER_MANIFEST_XML_HTTP_PACKAGE_MANIFEST_FACTORY_H_

#include "transfer/manifest/http_package_manifest_factory.h"

namespace zarn {

// Package manifests as XML documents (StandardPackageManifest) from the manifest host.
class XmlHttpPackageManifestFactory : public HttpPackageManifestFactory {
 public:
  using HttpPackageManifestFactory::GetPackageManifest;
  using HttpPackageManifestFactory::HttpPackageManifestFactory;

  std::shared_ptr<PackageManifest> GetPackageManifest(
      const std::string& id, std::shared_ptr<HttpSession> session) override;
  std::string GetUrl(const std::string& id) override;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_MANIFEST_XML_HTTP_PACKAGE_MANIFEST_FACTORY_H_
