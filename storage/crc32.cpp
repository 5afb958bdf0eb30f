#include "storage/crc32.h"

#include <libdeflate.h>

namespace zarn {

uint32_t Crc32(const void* data, std::size_t size, uint32_t crc) {
  return libdeflate_crc32(crc, data, size);
}

}  // namespace zarn
