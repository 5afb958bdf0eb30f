#include "transfer/works/node_list_status_data.h"

#include <boost/property_tree/ptree.hpp>

#include "transfer/manifest/node_list_manifest.h"

namespace zarn {

std::shared_ptr<NodeListStatusData> NodeListStatusData::Create(
    std::shared_ptr<NodeListManifest> nodeList) {
  return std::make_shared<NodeListStatusData>(Token(), std::move(nodeList));
}

void NodeListStatusData::Describe(boost::property_tree::ptree& tree) const {
  if (!nodeList) {
    tree.put("nodes", "null");
    return;
  }
  tree.put("count", nodeList->GetNodes().size());
}

}  // namespace zarn
