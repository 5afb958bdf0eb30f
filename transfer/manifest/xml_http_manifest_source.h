#ifndef ZARN_TRANSFER_MANIFEST_XML_HTTP_MANIFEST_SOURCE_H_
#define ZARN_TRANSFER_MANIFEST_XML_HTTP_MANIFEST_SOURCE_H_

#include "transfer/manifest/http_manifest_source.h"

namespace zarn {

// An XML manifest fetched over HTTP. Made for one fetch and dropped after it.
class XmlHttpManifestSource : public HttpManifestSource {
 public:
  using HttpManifestSource::HttpManifestSource;

  // ParseXmlManifest: malformed XML throws ManifestParseException.
  void Parse(std::string text, boost::property_tree::ptree& tree) override;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_MANIFEST_XML_HTTP_MANIFEST_SOURCE_H_
