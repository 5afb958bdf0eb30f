#include "transfer/manifest/manifest_source.h"

#include <sstream>

#include <boost/property_tree/ptree.hpp>

#include "transfer/manifest/input_manifest.h"

namespace zarn {

void ReadManifest(ManifestSource& source, const std::string& id, InputManifest& manifest) {
  std::stringstream stream;
  source.Read(id, stream);
  boost::property_tree::ptree tree;
  source.Parse(stream, tree);
  manifest.Read(tree);
}

}  // namespace zarn
