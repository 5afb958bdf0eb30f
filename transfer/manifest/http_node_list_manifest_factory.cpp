#include "transfer/manifest/http_node_list_manifest_factory.h"

namespace zarn {

HttpNodeListManifestFactory::HttpNodeListManifestFactory(const std::string& host,
                                                         HttpRequestFactory* requestFactory,
                                                         uint32_t connectTimeout, uint32_t timeout)
    : host_(host),
      requestFactory_(requestFactory),
      connectTimeout_(connectTimeout),
      timeout_(timeout) {}

std::shared_ptr<NodeListManifest> HttpNodeListManifestFactory::GetNodeList(const std::string& id) {
  return GetNodeList(id, std::shared_ptr<HttpSession>());
}

}  // namespace zarn
