#include "transfer/manifest/standard_file_manifest.h"

#include <boost/property_tree/ptree.hpp>
#include <cctype>
#include <limits>

#include "transfer/manifest/manifest_exception.h"
#include "transfer/manifest/manifest_number.h"
#include "transfer/manifest/manifest_path.h"

namespace zarn {
namespace {

constexpr std::size_t kHexDigitsPerChunk = 8;

// ParseHex skips leading white space; a slice whose first other character is not a
// hexadecimal digit has no defined value and rejects the entry.
bool IsHexSlice(const std::string& slice) {
  for (char c : slice) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (std::isspace(u)) continue;
    return std::isxdigit(u) != 0;
  }
  return false;
}

}  // namespace

StandardFileManifest::StandardFileManifest(const boost::property_tree::ptree& tree,
                                           uint32_t maxChunks)
    : maxChunks_(maxChunks) {
  Read(tree);
}

void StandardFileManifest::Read(const boost::property_tree::ptree& tree) {
  try {
    ReadFields(tree);
  } catch (...) {
    throw ManifestParseException();
  }
}

void StandardFileManifest::ReadFields(const boost::property_tree::ptree& tree) {
  path_ = tree.get<std::string>("path");
  chunkSize_ = static_cast<uint32_t>(ParseManifestDecimal(tree.get<std::string>("chunksize"),
                                                          std::numeric_limits<uint32_t>::max()));
  size_ = ParseManifestDecimal(tree.get<std::string>("size"), std::numeric_limits<uint64_t>::max());
  checksums_.clear();
  if (path_.empty() || chunkSize_ == 0 || size_ == 0) throw ManifestParseException();
  path_ = NormalizeManifestPath(path_);

  const uint64_t count = GetChunkCount(chunkSize_, size_);
  if (count > maxChunks_) throw ManifestParseException();
  // Read in place: the text may be most of the document. Its length is checked before
  // anything is reserved, so a hostile size with a short text forces no allocation.
  const std::string& text = tree.get_child("checksums").data();
  if (text.size() != kHexDigitsPerChunk * count) throw ManifestParseException();
  checksums_.reserve(count);
  for (std::size_t i = 0; i < count; ++i) {
    const std::string slice = text.substr(i * kHexDigitsPerChunk, kHexDigitsPerChunk);
    if (!IsHexSlice(slice)) throw ManifestParseException();
    checksums_.push_back(ParseHex(slice));
  }
}

}  // namespace zarn
