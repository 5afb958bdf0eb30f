#ifndef ZARN_TRANSFER_STORE_JSON_TEMP_FILE_MANIFEST_STORE_IMPL_H_
#define ZARN_TRANSFER_STORE_JSON_TEMP_FILE_MANIFEST_STORE_IMPL_H_

#include <cstddef>
#include <string>

#include "transfer/store/temp_file_manifest_store_impl.h"

namespace zarn {

// The reader and the key splitting recurse per level and per key segment; a stored record
// is one flat object, so both are bounded well above what it needs.
constexpr int kMaxJsonDepth = 64;
constexpr std::size_t kMaxJsonKeySegments = 64;

// The JSON text form of stored records: one compact object and a line feed, in UTF-8.
// Escaping works on UTF-16 code units: '\\', '/' and '"' get a backslash, backspace, form
// feed, line feed and carriage return become \b \f \n \r, every other unit below U+0020
// and every unit above U+00FF becomes \uXXXX (upper-case digits; a character outside the
// basic plane becomes its surrogate pair), and U+0080 to U+00FF stay as they are.
class JsonTempFileManifestStoreImpl : public TempFileManifestStoreImpl {
 public:
  using TempFileManifestStoreImpl::TempFileManifestStoreImpl;

  // Reads a JSON document; a member key holding '.' becomes a nested path. Invalid UTF-8,
  // invalid JSON, values nested deeper than kMaxJsonDepth, or a key the tree cannot hold
  // (empty segments, more than kMaxJsonKeySegments of them) raise ManifestParseException.
  void Parse(std::string text, boost::property_tree::ptree& tree) override;
  // A tree that JSON cannot represent raises ManifestParseException.
  void Serialize(const boost::property_tree::ptree& tree, std::ostream& out) override;
  // id + ".json"
  std::string GetFileName(const std::string& id) const override;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_STORE_JSON_TEMP_FILE_MANIFEST_STORE_IMPL_H_
