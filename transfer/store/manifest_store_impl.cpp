#include "transfer/store/manifest_store_impl.h"

#include <boost/property_tree/ptree.hpp>
#include <sstream>

#include "transfer/manifest/output_manifest.h"

namespace zarn {

void WriteManifest(ManifestSink& sink, const std::string& id, const OutputManifest& manifest) {
  boost::property_tree::ptree tree;
  manifest.Write(tree);
  std::stringstream text;
  sink.Serialize(tree, text);
  sink.Write(text, id);
}

}  // namespace zarn
