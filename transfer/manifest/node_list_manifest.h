#ifndef ZARN_TRANSFER_MANIFEST_NODE_LIST_MANIFEST_H_
#define ZARN_TRANSFER_MANIFEST_NODE_LIST_MANIFEST_H_

#include <memory>
#include <vector>

#include "transfer/manifest/input_manifest.h"

namespace zarn {

class NodeManifest;

using NodeManifestList = std::vector<std::shared_ptr<NodeManifest>>;

// The content nodes that serve a partner's packages, in document order.
class NodeListManifest : public InputManifest {
 public:
  ~NodeListManifest() override = default;
  virtual const NodeManifestList& GetNodes() const = 0;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_MANIFEST_NODE_LIST_MANIFEST_H_
