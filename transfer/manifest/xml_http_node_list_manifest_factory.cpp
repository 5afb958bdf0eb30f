#include "transfer/manifest/xml_http_node_list_manifest_factory.h"

#include "transfer/manifest/manifest_url.h"
#include "transfer/manifest/standard_node_list_manifest.h"
#include "transfer/manifest/xml_http_manifest_source.h"

namespace zarn {

std::shared_ptr<NodeListManifest> XmlHttpNodeListManifestFactory::GetNodeList(
    const std::string& id, std::shared_ptr<HttpSession> session) {
  XmlHttpManifestSource source(GetUrl(id), requestFactory_, std::move(session), connectTimeout_,
                               timeout_);
  auto nodeList = std::make_shared<StandardNodeListManifest>();
  ReadManifest(source, id, *nodeList);
  return nodeList;
}

std::string XmlHttpNodeListManifestFactory::GetUrl(const std::string& id) {
  return MakeManifestUrl(host_, "/nodes/" + id + ".xml");
}

}  // namespace zarn
