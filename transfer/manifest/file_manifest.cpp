#include "transfer/manifest/file_manifest.h"

#include <limits>
#include <sstream>

#include "transfer/manifest/manifest_exception.h"

namespace zarn {

uint32_t GetChunkCount(uint32_t chunkSize, uint64_t size) {
  if (chunkSize == 0) return 0;
  const uint64_t c = chunkSize;
  if (std::numeric_limits<uint64_t>::max() - size < c - 1) throw ManifestOverflowException();
  const uint64_t count = (size + c - 1) / c;
  if (count > std::numeric_limits<uint32_t>::max()) throw ManifestOverflowException();
  return static_cast<uint32_t>(count);
}

uint32_t ParseHex(const std::string& text) {
  std::istringstream in(text);
  uint32_t value = 0;
  in >> std::hex >> value;
  return value;
}

std::string FormatHex(uint32_t value) {
  std::ostringstream out;
  out << std::hex << std::nouppercase << value;
  return out.str();
}

}  // namespace zarn
