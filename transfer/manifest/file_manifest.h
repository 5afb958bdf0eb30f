#ifndef ZARN_TRANSFER_MANIFEST_FILE_MANIFEST_H_
#define ZARN_TRANSFER_MANIFEST_FILE_MANIFEST_H_

#include <cstdint>
#include <string>
#include <vector>

#include "transfer/manifest/input_manifest.h"

namespace zarn {

// One file of a package: its path below the destination folder, cut into chunks of
// GetChunkSize bytes (the last one possibly shorter), with one CRC-32 per chunk.
class FileManifest : public InputManifest {
 public:
  ~FileManifest() override = default;
  virtual const std::string& GetPath() const = 0;
  virtual uint32_t GetChunkSize() const = 0;
  virtual uint64_t GetSize() const = 0;
  virtual const std::vector<uint32_t>& GetChecksums() const = 0;
};

// Number of chunks of size bytes cut into chunks of chunkSize bytes, rounded up; 0 for a
// chunk size of 0. Throws ManifestOverflowException when the count exceeds 32 bits.
uint32_t GetChunkCount(uint32_t chunkSize, uint64_t size);

// Reads one hexadecimal u32 from text: leading white space is skipped, digits are read up
// to the first other character and the rest ignored ("0000001g" gives 1). Text that does
// not begin with a hexadecimal digit gives 0.
uint32_t ParseHex(const std::string& text);

// The value in lower-case hexadecimal without leading zeros: 0 -> "0", 255 -> "ff".
std::string FormatHex(uint32_t value);

}  // namespace zarn

#endif  // ZARN_TRANSFER_MANIFEST_FILE_MANIFEST_H_
