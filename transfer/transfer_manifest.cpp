#include "transfer/transfer_manifest.h"

#include <boost/property_tree/ptree.hpp>

#include "transfer/manifest/manifest_exception.h"

namespace zarn {

void TransferManifest::Read(const boost::property_tree::ptree& tree) {
  params_ = TransferParams();
  try {
    params_.transferId = tree.get<std::string>("transferId");
    params_.partnerId = tree.get<std::string>("partnerId");
    params_.packageId = tree.get<std::string>("packageId");
    params_.versionId = tree.get<std::string>("versionId");
    params_.destPath = tree.get<std::string>("destPath");
  } catch (...) {
    throw ManifestParseException();
  }
}

void TransferManifest::Write(boost::property_tree::ptree& tree) const {
  try {
    params_.Describe(tree);
  } catch (...) {
    throw ManifestParseException();
  }
}

}  // namespace zarn
