#ifndef ZARN_TRANSFER_MANIFEST_NODE_MANIFEST_H_
#define ZARN_TRANSFER_MANIFEST_NODE_MANIFEST_H_

#include <string>

#include "transfer/manifest/input_manifest.h"
#include "transfer/manifest/output_manifest.h"

namespace zarn {

class NodeStatistics;

// One content node of a node list: its id, its host ("host[:port]" of its chunk URLs) and
// the statistics of the requests a transfer made to it.
class NodeManifest : public InputManifest, public OutputManifest {
 public:
  ~NodeManifest() override = default;
  virtual const std::string& GetNodeId() const = 0;
  virtual const std::string& GetHost() const = 0;
  virtual NodeStatistics& GetStatistics() = 0;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_MANIFEST_NODE_MANIFEST_H_
