#ifndef ZARN_TRANSFER_MANIFEST_HTTP_PACKAGE_MANIFEST_FACTORY_H_
#define ZARN_TRANSFER_MANIFEST_HTTP_PACKAGE_MANIFEST_FACTORY_H_

#include <cstdint>
#include <memory>
#include <string>

#include "transfer/manifest/package_manifest_factory.h"

namespace zarn {

class HttpRequestFactory;
class HttpSession;

// Package manifests from the manifest host over HTTP. Holds no mutable state: shared by
// every transfer and called from engine threads at once.
class HttpPackageManifestFactory : public PackageManifestFactory {
 public:
  // requestFactory is not owned; the time-outs are in seconds.
  HttpPackageManifestFactory(const std::string& host, HttpRequestFactory* requestFactory,
                             uint32_t connectTimeout, uint32_t timeout);
  HttpPackageManifestFactory(const HttpPackageManifestFactory&) = delete;
  HttpPackageManifestFactory& operator=(const HttpPackageManifestFactory&) = delete;

  // The same as the form below without a session (the request is not pooled).
  std::shared_ptr<PackageManifest> GetPackageManifest(const std::string& id) override;
  bool IsSamePackage(std::shared_ptr<PackageManifest> package, const std::string& key) override;

  // Fetches with a request of session's pool; throws a ManifestException (or
  // std::bad_alloc).
  virtual std::shared_ptr<PackageManifest> GetPackageManifest(
      const std::string& id, std::shared_ptr<HttpSession> session) = 0;
  // The manifest's URL: "/manifests/" + id + ".xml", with "/current" before ".xml" when id
  // names no version. Throws ManifestLocatorException when it cannot be built.
  virtual std::string GetUrl(const std::string& id) = 0;

 protected:
  const std::string host_;
  HttpRequestFactory* const requestFactory_;
  const uint32_t connectTimeout_;
  const uint32_t timeout_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_MANIFEST_HTTP_PACKAGE_MANIFEST_FACTORY_H_
