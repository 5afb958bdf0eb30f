#ifndef ZARN_TRANSFER_MANIFEST_MANIFEST_SOURCE_H_
#define ZARN_TRANSFER_MANIFEST_MANIFEST_SOURCE_H_

#include <boost/property_tree/ptree_fwd.hpp>
#include <string>

namespace zarn {

class InputManifest;

// Where a manifest's bytes come from and how they become a property tree.
class ManifestSource {
 public:
  virtual ~ManifestSource() = default;
  // Appends the raw bytes of the document named by id to out. A source whose location is
  // fixed at construction ignores id.
  virtual void Read(const std::string& id, std::string& out) = 0;
  // Parses text into tree. The text is the source's to consume: a document of many
  // megabytes is parsed where it lies, never copied again.
  virtual void Parse(std::string text, boost::property_tree::ptree& tree) = 0;
};

// The one way a manifest is read from any source: fetch, parse, then the record's Read.
// Exceptions of every step pass through unchanged. One document at a time in the whole
// process is parsed and read, from its text to its record: a caller whose text is
// fetched may wait meanwhile. The fetches themselves never wait.
void ReadManifest(ManifestSource& source, const std::string& id, InputManifest& manifest);

}  // namespace zarn

#endif  // ZARN_TRANSFER_MANIFEST_MANIFEST_SOURCE_H_
