#ifndef ZARN_TRANSFER_WORKS_NODE_LIST_STATUS_DATA_H_
#define ZARN_TRANSFER_WORKS_NODE_LIST_STATUS_DATA_H_

#include <memory>

#include "work/work_status_data.h"

namespace zarn {

class NodeListManifest;

// The success payload of the node-list work: the fetched node list, which the transfer
// takes out of it.
class NodeListStatusData : public WorkStatusData {
  // The passkey: the constructor is public for std::make_shared, yet only Create can call it.
  struct Token {};

 public:
  static std::shared_ptr<NodeListStatusData> Create(std::shared_ptr<NodeListManifest> nodeList);
  NodeListStatusData(Token, std::shared_ptr<NodeListManifest> nodeList)
      : nodeList(std::move(nodeList)) {}

  // "count" = the number of nodes; "nodes" = "null" without a list.
  void Describe(boost::property_tree::ptree& tree) const override;

  const std::shared_ptr<NodeListManifest> nodeList;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_WORKS_NODE_LIST_STATUS_DATA_H_
