#ifndef ZARN_TRANSFER_OPTIMIZER_OPTIMIZED_REQUEST_PARAMS_H_
#define ZARN_TRANSFER_OPTIMIZER_OPTIMIZED_REQUEST_PARAMS_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "http/http_request_params.h"
#include "transfer/transfer_params.h"

namespace zarn {

class HttpWriteCallback;
class NodeListManifest;
class NodeManifest;
class TransferSharedMapData;

// The state of one chunk's ranged GET across its attempts: the nodes still to be tried,
// the node of the current attempt and the limits the optimizer gave it.
class OptimizedRequestParams {
 public:
  OptimizedRequestParams(std::shared_ptr<NodeListManifest> nodeList, const TransferParams& transfer,
                         std::shared_ptr<TransferSharedMapData> chunk);

  // The chunk's URL on the selected node: http://host/packages/partner/package/version/
  // followed by the file's path. Every identifier and every segment of the path is
  // percent-encoded as one literal path segment, so names holding '%', '?', '#', ':' or
  // spaces reach the node unchanged. Throws std::invalid_argument before a node is chosen.
  std::string ToUrl() const;

  // The ranged GET of the chunk on the selected node, with the four limits.
  HttpRequestParams BuildRequest(HttpWriteCallback* sink) const;

  // The smallest error count among all nodes of the node list; 0 for an empty list.
  uint32_t GetMinNodeErrorCount() const;

  // Removes the selected node from the candidates; refills them with every node of the
  // list when none is left.
  void DropSelectedNode();

  // The chunk's length, at most 2^32 - 1.
  uint64_t ChunkLength() const;

  std::shared_ptr<NodeListManifest> nodeList;
  std::vector<std::shared_ptr<NodeManifest>> candidates;
  TransferParams transfer;
  std::shared_ptr<TransferSharedMapData> chunk;
  std::shared_ptr<NodeManifest> SelectedNode;
  uint8_t FreeRetry = 0;
  uint32_t connectTimeout = 0;
  uint32_t totalTimeout = 0;
  int32_t lowSpeedLimit = 0;
  int32_t lowSpeedTime = 0;

 private:
  void FillCandidates();
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_OPTIMIZER_OPTIMIZED_REQUEST_PARAMS_H_
