#ifndef ZARN_STORAGE_POSIX_MEMORY_MAP_H_
#define ZARN_STORAGE_POSIX_MEMORY_MAP_H_

#include <cstdint>

namespace zarn {

// A file's one mapping: the descriptor that views are mapped from and the file's size when
// the mapping was made. Views never reach past that size, so the mapping never grows with
// the file. Does not own the descriptor; views stay valid after the mapping and the file
// are gone.
class PosixMemoryMap {
 public:
  PosixMemoryMap(int fd, uint64_t size) : fd_(fd), size_(size) {}

  PosixMemoryMap(const PosixMemoryMap&) = delete;
  PosixMemoryMap& operator=(const PosixMemoryMap&) = delete;

  int fd() const { return fd_; }
  uint64_t size() const { return size_; }

 private:
  const int fd_;
  const uint64_t size_;
};

}  // namespace zarn

#endif  // ZARN_STORAGE_POSIX_MEMORY_MAP_H_
