#include "transfer/manifest/xml_http_manifest_source.h"

#include "transfer/manifest/xml_manifest_tree.h"

namespace zarn {

void XmlHttpManifestSource::Parse(std::istream& in, boost::property_tree::ptree& tree) {
  ParseXmlManifest(in, tree);
}

}  // namespace zarn
