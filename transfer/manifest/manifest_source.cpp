#include "transfer/manifest/manifest_source.h"

#include <boost/property_tree/ptree.hpp>
#include <utility>

#include "transfer/manifest/input_manifest.h"

namespace zarn {

void ReadManifest(ManifestSource& source, const std::string& id, InputManifest& manifest) {
  std::string text;
  source.Read(id, text);
  boost::property_tree::ptree tree;
  source.Parse(std::move(text), tree);
  manifest.Read(tree);
}

}  // namespace zarn
