#include "transfer/manifest/manifest_source.h"

#include <boost/property_tree/ptree.hpp>
#include <mutex>
#include <utility>

#include "transfer/manifest/input_manifest.h"

namespace zarn {
namespace {

// A document costs several times its text while it is parsed and its tree read, and the
// engine fetches up to four at once (two transfers, each its package manifest and its
// node list together): one at a time, the worst is paid once, the others waiting as
// fetched text. Held across no wait but its own.
std::mutex readingGate;

}  // namespace

void ReadManifest(ManifestSource& source, const std::string& id, InputManifest& manifest) {
  std::string text;
  source.Read(id, text);
  const std::lock_guard<std::mutex> reading(readingGate);  // released once the tree is freed
  boost::property_tree::ptree tree;
  source.Parse(std::move(text), tree);
  manifest.Read(tree);
}

}  // namespace zarn
