#include "transfer/manifest/standard_node_manifest.h"

#include <boost/property_tree/ptree.hpp>

#include "transfer/manifest/manifest_exception.h"
#include "transfer/manifest/node_host.h"

namespace zarn {

StandardNodeManifest::StandardNodeManifest(const boost::property_tree::ptree& tree) { Read(tree); }

void StandardNodeManifest::Read(const boost::property_tree::ptree& tree) {
  try {
    nodeId_ = tree.get<std::string>("NodeId");
    host_ = tree.get<std::string>("Host");
  } catch (...) {
    throw ManifestParseException();
  }
  if (nodeId_.empty() || !IsValidNodeHost(host_)) throw ManifestParseException();
}

void StandardNodeManifest::Write(boost::property_tree::ptree& tree) const {
  try {
    tree.put("Node", host_);
    statistics_.Write(tree);
  } catch (...) {
    throw ManifestParseException();
  }
}

}  // namespace zarn
