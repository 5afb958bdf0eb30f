#ifndef ZARN_TRANSFER_WORKS_PACKAGE_STATUS_DATA_H_
#define ZARN_TRANSFER_WORKS_PACKAGE_STATUS_DATA_H_

#include <memory>

#include "work/work_status_data.h"

namespace zarn {

class PackageManifest;

// The success payload of the package-manifest work: the fetched package, which the
// transfer takes out of it.
class PackageStatusData : public WorkStatusData {
  // The passkey: the constructor is public for std::make_shared, yet only Create can call it.
  struct Token {};

 public:
  static std::shared_ptr<PackageStatusData> Create(std::shared_ptr<PackageManifest> package);
  PackageStatusData(Token, std::shared_ptr<PackageManifest> package)
      : package(std::move(package)) {}

  // The package's "packageId", "partnerId" and "versionId"; "package" = "null" without one.
  void Describe(boost::property_tree::ptree& tree) const override;

  const std::shared_ptr<PackageManifest> package;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_WORKS_PACKAGE_STATUS_DATA_H_
