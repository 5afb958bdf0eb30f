#ifndef ZARN_TRANSFER_MANIFEST_STANDARD_NODE_LIST_MANIFEST_H_
#define ZARN_TRANSFER_MANIFEST_STANDARD_NODE_LIST_MANIFEST_H_

#include <cstddef>

#include "transfer/manifest/node_list_manifest.h"

namespace zarn {

// The most nodes a node list may name.
constexpr std::size_t kMaxNodes = 10000;

// The "ArrayOfNodeInfo" document: one node per "NodeInfo" child (at least one, at most
// kMaxNodes); other children are skipped. Nodes with the same id are not merged.
class StandardNodeListManifest : public NodeListManifest {
 public:
  StandardNodeListManifest() = default;
  StandardNodeListManifest(const StandardNodeListManifest&) = delete;
  StandardNodeListManifest& operator=(const StandardNodeListManifest&) = delete;

  // Throws ManifestParseException when the document is not a valid node list.
  void Read(const boost::property_tree::ptree& tree) override;
  const NodeManifestList& GetNodes() const override { return nodes_; }

 private:
  NodeManifestList nodes_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_MANIFEST_STANDARD_NODE_LIST_MANIFEST_H_
