#ifndef ZARN_TRANSFER_DISK_SPACE_H_
#define ZARN_TRANSFER_DISK_SPACE_H_

#include <cstdint>
#include <string>

namespace zarn {

// The bytes available to the calling user on the volume of path; 0 on any failure,
// an empty or missing path included.
uint64_t GetFreeSpace(const std::string& path);

// The size of the file at path, 0 when it does not exist or cannot be examined.
uint64_t GetFileSizeOnDisk(const std::string& path);

}  // namespace zarn

#endif  // ZARN_TRANSFER_DISK_SPACE_H_
