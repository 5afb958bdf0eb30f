#include "transfer/manifest/xml_http_manifest_source.h"

#include <utility>

#include "transfer/manifest/xml_manifest_tree.h"

namespace zarn {

void XmlHttpManifestSource::Parse(std::string text, boost::property_tree::ptree& tree) {
  ParseXmlManifest(std::move(text), tree);
}

}  // namespace zarn
