#ifndef ZARN_TRANSFER_MANIFEST_STANDARD_FILE_MANIFEST_H_
#define ZARN_TRANSFER_MANIFEST_STANDARD_FILE_MANIFEST_H_

#include <cstdint>
#include <string>
#include <vector>

#include "transfer/manifest/file_manifest.h"

namespace zarn {

// A "file" entry of a package manifest: "path", "chunksize", "size" and "checksums" (eight
// hexadecimal characters per chunk). The path is kept normalised (see NormalizeManifestPath).
class StandardFileManifest : public FileManifest {
 public:
  // Reads the entry at once; throws ManifestParseException when it is not valid or has
  // more than maxChunks chunks. The count is checked on "chunksize" and "size" alone,
  // before the checksums are read, so an entry past it costs nothing of its own.
  StandardFileManifest(const boost::property_tree::ptree& tree, uint32_t maxChunks);

  void Read(const boost::property_tree::ptree& tree) override;
  const std::string& GetPath() const override { return path_; }
  uint32_t GetChunkSize() const override { return chunkSize_; }
  uint64_t GetSize() const override { return size_; }
  const std::vector<uint32_t>& GetChecksums() const override { return checksums_; }

 private:
  void ReadFields(const boost::property_tree::ptree& tree);

  const uint32_t maxChunks_;
  std::string path_;
  uint32_t chunkSize_ = 0;
  uint64_t size_ = 0;
  std::vector<uint32_t> checksums_;
};

}  // namespace zarn

#endif  // ZARN_TRANSFER_MANIFEST_STANDARD_FILE_MANIFEST_H_
