#ifndef ZARN_TRANSFER_MANIFEST_STANDARD_NODE_MANIFEST_H_
#define ZARN_TRANSFER_MANIFEST_STANDARD_NODE_MANIFEST_H_

#include <string>

#include "transfer/manifest/node_manifest.h"
#include "transfer/optimizer/node_statistics.h"

namespace zarn {

// A "NodeInfo" element: "NodeId" (required, non-empty) and "Host" (required, a name or
// an address with an optional port: IsValidNodeHost).
class StandardNodeManifest : public NodeManifest {
 public:
  // Reads the element at once; throws ManifestParseException when it is not valid.
  explicit StandardNodeManifest(const boost::property_tree::ptree& tree);
  StandardNodeManifest(const StandardNodeManifest&) = delete;
  StandardNodeManifest& operator=(const StandardNodeManifest&) = delete;

  void Read(const boost::property_tree::ptree& tree) override;
  // Writes the host as "Node" and the statistics beside it.
  void Write(boost::property_tree::ptree& tree) const override;

  const std::string& GetNodeId() const override { return nodeId_; }
  const std::string& GetHost() const override { return host_; }
  NodeStatistics& GetStatistics() override { return statistics_; }

 private:
  std::string nodeId_;
  std::string host_;
  NodeStatistics statistics_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_MANIFEST_STANDARD_NODE_MANIFEST_H_
