#ifndef ZARN_TRANSFER_MANIFEST_XML_HTTP_NODE_LIST_MANIFEST_FACTORY_H_
#define ZARN_TRANSFER_MANIFEST_XML_HTTP_NODE_LIST_MANIFEST_FACTORY_H_

#include "transfer/manifest/http_node_list_manifest_factory.h"

namespace zarn {

// Node lists as XML documents (StandardNodeListManifest) from the manifest host. Whatever
// the document holds is accepted; there is no identity check.
class XmlHttpNodeListManifestFactory : public HttpNodeListManifestFactory {
 public:
  using HttpNodeListManifestFactory::HttpNodeListManifestFactory;

  using HttpNodeListManifestFactory::GetNodeList;
  std::shared_ptr<NodeListManifest> GetNodeList(const std::string& id,
                                                std::shared_ptr<HttpSession> session) override;
  std::string GetUrl(const std::string& id) override;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_MANIFEST_XML_HTTP_NODE_LIST_MANIFEST_FACTORY_H_
