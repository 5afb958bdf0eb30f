#ifndef ZARN_TRANSFER_MANIFEST_PACKAGE_MANIFEST_FACTORY_H_
#define ZARN_TRANSFER_MANIFEST_PACKAGE_MANIFEST_FACTORY_H_

#include <memory>
#include <string>

namespace zarn {

class PackageManifest;

// Hands out package manifests by id: a package id, or a package id + "/" + version id.
class PackageManifestFactory {
 public:
  virtual ~PackageManifestFactory() = default;
  // Fetches, reads and checks the package that id names; throws a ManifestException.
  virtual std::shared_ptr<PackageManifest> GetPackageManifest(const std::string& id) = 0;
  // Whether package is the one key names: the same id, and the same version when key
  // names one. Exact comparisons.
  virtual bool IsSamePackage(std::shared_ptr<PackageManifest> package, const std::string& key) = 0;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_MANIFEST_PACKAGE_MANIFEST_FACTORY_H_
