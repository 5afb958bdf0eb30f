#ifndef ZARN_TRANSFER_STORE_MANIFEST_STORE_IMPL_H_
#define ZARN_TRANSFER_STORE_MANIFEST_STORE_IMPL_H_

#include <boost/property_tree/ptree_fwd.hpp>
#include <iosfwd>
#include <string>

#include "transfer/manifest/manifest_source.h"

namespace zarn {

class OutputManifest;

// Where a record's text goes and how a property tree becomes that text.
class ManifestSink {
 public:
  virtual ~ManifestSink() = default;
  virtual void Serialize(const boost::property_tree::ptree& tree, std::ostream& out) = 0;
  virtual void Write(std::istream& in, const std::string& id) = 0;
};

// The one way a record is stored through a sink: the record's Write, then Serialize, then
// Write of the text. Exceptions of every step pass through unchanged.
void WriteManifest(ManifestSink& sink, const std::string& id, const OutputManifest& manifest);

// Both faces of a store's implementation: records are read through the source face and
// written through the sink face.
class ManifestStoreImpl : public ManifestSource, public ManifestSink {};

}  // namespace zarn

#endif  // ZARN_TRANSFER_STORE_MANIFEST_STORE_IMPL_H_
