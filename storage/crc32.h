#ifndef ZARN_STORAGE_CRC32_H_
#define ZARN_STORAGE_CRC32_H_

#include <cstddef>
#include <cstdint>

namespace zarn {

// The CRC-32 (the zlib/PNG polynomial; the values of boost::crc_32_type) of `size` bytes at
// `data`, continuing from `crc`, the CRC-32 of the bytes before them (0 to start).
uint32_t Crc32(const void* data, std::size_t size, uint32_t crc = 0);

}  // namespace zarn

#endif  // ZARN_STORAGE_CRC32_H_
