#include "transfer/optimizer/optimized_request_params.h"

#include <Poco/URI.h>

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "transfer/manifest/node_list_manifest.h"
#include "transfer/manifest/node_manifest.h"
#include "transfer/optimizer/node_statistics.h"
#include "transfer/works/transfer_shared_file_data.h"
#include "transfer/works/transfer_shared_map_data.h"

namespace zarn {
namespace {

// Characters that would end or change a path segment if left as they are. Poco adds the
// characters it always encodes ('%', space, controls, non-ASCII and the like).
constexpr char kSegmentReserved[] = "/?#[]@!$&'()*+,;=:";

// A segment made only of dots is encoded too: "." and ".." would otherwise be resolved
// away by the HTTP client, and the identifier would stop being one literal segment.
void AppendSegment(const std::string& segment, std::string& url) {
  if (!segment.empty() && segment.find_first_not_of('.') == std::string::npos) {
    for (std::size_t i = 0; i < segment.size(); ++i) url += "%2E";
    return;
  }
  std::string encoded;
  Poco::URI::encode(segment, kSegmentReserved, encoded);
  url += encoded;
}

}  // namespace

OptimizedRequestParams::OptimizedRequestParams(std::shared_ptr<NodeListManifest> nodeList_,
                                               const TransferParams& transfer_,
                                               std::shared_ptr<TransferSharedMapData> chunk_)
    : nodeList(std::move(nodeList_)), transfer(transfer_), chunk(std::move(chunk_)) {
  FillCandidates();
}

void OptimizedRequestParams::FillCandidates() {
  candidates.clear();
  if (nodeList) candidates = nodeList->GetNodes();
}

std::string OptimizedRequestParams::ToUrl() const {
  if (!SelectedNode || !chunk) {
    throw std::invalid_argument(
        "OptimizedRequestParams::ToUrl invoked with no SelectedNode or no ChunkData");
  }
  std::string url = "http://" + SelectedNode->GetHost() + "/packages/";
  for (const std::string* id : {&transfer.partnerId, &transfer.packageId, &transfer.versionId}) {
    AppendSegment(*id, url);
    url += '/';
  }
  const std::string& path = chunk->fileData->filePath;
  std::string::size_type begin = 0;
  while (true) {
    const std::string::size_type slash = path.find('/', begin);
    AppendSegment(path.substr(begin, slash - begin), url);
    if (slash == std::string::npos) break;
    url += '/';
    begin = slash + 1;
  }
  return url;
}

HttpRequestParams OptimizedRequestParams::BuildRequest(HttpWriteCallback* sink) const {
  HttpRequestParams request(ToUrl(), sink);
  request.rangeBegin = chunk->lowerBound;
  request.rangeEnd = chunk->upperBound;
  request.connectTimeout = connectTimeout;
  request.timeout = totalTimeout;
  request.lowSpeedLimit = lowSpeedLimit;
  request.lowSpeedTime = lowSpeedTime;
  return request;
}

uint32_t OptimizedRequestParams::GetMinNodeErrorCount() const {
  if (!nodeList || nodeList->GetNodes().empty()) return 0;
  uint32_t least = std::numeric_limits<uint32_t>::max();
  for (const auto& node : nodeList->GetNodes()) {
    least = std::min<uint32_t>(least, node->GetStatistics().GetErrors());
  }
  return least;
}

void OptimizedRequestParams::DropSelectedNode() {
  candidates.erase(std::remove(candidates.begin(), candidates.end(), SelectedNode),
                   candidates.end());
  if (candidates.empty()) FillCandidates();
}

uint64_t OptimizedRequestParams::ChunkLength() const {
  if (!chunk) return 0;
  return static_cast<uint32_t>(static_cast<uint32_t>(chunk->upperBound) -
                               static_cast<uint32_t>(chunk->lowerBound) + 1u);
}

}  // namespace zarn
