#ifndef ZARN_TRANSFER_MANIFEST_NODE_LIST_MANIFEST_FACTORY_H_
#define ZARN_TRANSFER_MANIFEST_NODE_LIST_MANIFEST_FACTORY_H_

#include <memory>
#include <string>

namespace zarn {

class NodeListManifest;

// Hands out node lists by partner id.
class NodeListManifestFactory {
 public:
  virtual ~NodeListManifestFactory() = default;
  // Fetches and reads the node list of the partner id; throws a ManifestException.
  virtual std::shared_ptr<NodeListManifest> GetNodeList(const std::string& id) = 0;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_MANIFEST_NODE_LIST_MANIFEST_FACTORY_H_
