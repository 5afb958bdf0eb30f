#include "transfer/manifest/standard_node_list_manifest.h"

#include <boost/property_tree/ptree.hpp>

#include "transfer/manifest/manifest_exception.h"
#include "transfer/manifest/standard_node_manifest.h"

namespace zarn {

void StandardNodeListManifest::Read(const boost::property_tree::ptree& tree) {
  nodes_.clear();
  try {
    const boost::property_tree::ptree& list = tree.get_child("ArrayOfNodeInfo");
    if (list.count("NodeInfo") > kMaxNodes) throw ManifestParseException();
    for (const auto& child : list) {
      if (child.first != "NodeInfo") continue;
      nodes_.push_back(std::make_shared<StandardNodeManifest>(child.second));
    }
  } catch (...) {
    throw ManifestParseException();
  }
  if (nodes_.empty()) throw ManifestParseException();
}

}  // namespace zarn
