#include "transfer/works/package_status_data.h"

#include <boost/property_tree/ptree.hpp>

#include "transfer/manifest/package_manifest.h"

namespace zarn {

std::shared_ptr<PackageStatusData> PackageStatusData::Create(
    std::shared_ptr<PackageManifest> package) {
  return std::make_shared<PackageStatusData>(Token(), std::move(package));
}

void PackageStatusData::Describe(boost::property_tree::ptree& tree) const {
  if (!package) {
    tree.put("package", "null");
    return;
  }
  tree.put("packageId", package->GetId());
  tree.put("partnerId", package->GetPartnerId());
  tree.put("versionId", package->GetVersionId());
}

}  // namespace zarn
