#ifndef ZARN_STORAGE_POSIX_MEMORY_MAP_H_
#define ZARN_STORAGE_POSIX_MEMORY_MAP_H_

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>

namespace zarn {

// How WriteAt puts bytes into the file, with pwrite's contract: the count written (0
// included), or -1 with errno set. Tests replace it to get the answers that a real file
// cannot be made to give.
using PositionalWriteFunction = ssize_t (*)(int fd, const void* data, std::size_t n, off_t offset);

// Makes function the one every map's WriteAt uses (nullptr: the system's pwrite); returns
// the one used before.
PositionalWriteFunction SetPositionalWriteFunction(PositionalWriteFunction function);

// What a file's views share: a descriptor of their own for the file (so that views stay
// valid after the file is closed), the file's size when the first view was made (views
// never reach past it, so the mapping never grows with the file), the lock that lets one
// view at a time write the file, and which ranges are known to hold zeros. Views write a
// chunk in one or few large calls; without the lock, writers of one file would spin on the
// kernel's lock of the file instead of sleeping on this one.
class PosixMemoryMap {
 public:
  // Takes a descriptor of its own for `fd` (closed with the map); the kind of the error
  // number when the system refuses one. `zeros`: the file was sized here and nothing has
  // been written to it since, so every byte is 0 until a view writes it.
  PosixMemoryMap(int fd, uint64_t size, bool zeros = false);
  ~PosixMemoryMap();

  PosixMemoryMap(const PosixMemoryMap&) = delete;
  PosixMemoryMap& operator=(const PosixMemoryMap&) = delete;

  int fd() const { return fd_; }
  uint64_t size() const { return size_; }

  // Writes all n bytes at `offset`, under the write lock. FileInvalidMapException when the
  // file is shorter than `size` before or after the write (another process truncated it:
  // the write would only put this range back into a file whose other bytes are gone);
  // FileUnknownException when the system takes no byte and names no error; otherwise the
  // kind of write's error number. Once the write has begun, whether it ends well or not,
  // the range is no longer known to hold zeros.
  void WriteAt(const uint8_t* data, uint64_t n, uint64_t offset);

  // Reads exactly n bytes at `offset`. FileInvalidMapException when the file ends before
  // them; otherwise the kind of read's error number.
  void ReadAt(uint8_t* data, uint64_t n, uint64_t offset) const;

  // FileInvalidMapException when the file is now shorter than `size`.
  void CheckNotTruncated() const;

  // Whether every byte of [lower, upper] is still 0: the file was sized here and no view
  // has written or mapped a byte of the range. Such a range need not be read: a read of a
  // file this run has just made would only bring in fresh pages of zeros.
  bool KnownZero(uint64_t lower, uint64_t upper);
  // [lower, upper] may hold anything from now on (a view maps it writable).
  void MarkWritten(uint64_t lower, uint64_t upper);
  // Nothing is known to hold zeros any more (the file was written around the views).
  void ForgetZeros();

 private:
  void MarkWrittenLocked(uint64_t begin, uint64_t end);

  const int fd_;
  const uint64_t size_;
  std::mutex writeMutex_;  // guards the writes and the fields below
  bool zeros_;
  std::map<uint64_t, uint64_t> written_;  // disjoint [begin, end) written since sizing
};

}  // namespace zarn

#endif  // ZARN_STORAGE_POSIX_MEMORY_MAP_H_
