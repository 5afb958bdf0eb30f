#ifndef ZARN_STORAGE_MEMORY_MAPPED_FILE_DATA_H_
#define ZARN_STORAGE_MEMORY_MAPPED_FILE_DATA_H_

#include <cstdint>
#include <functional>

#include "storage/bounded_file_data.h"

namespace zarn {

// A view of exactly the byte range [lower, upper] of a file. A file that another process
// truncated, or a fault while the view's memory is touched, reaches the caller of Read,
// Write, Apply or Fetch as FileInvalidMapException. Used by one thread at a time; views of
// disjoint ranges of one file may be used from different threads at once.
class MemoryMappedFileData : public BoundedFileData {
 public:
  // A function over the view's bytes. It runs under the fault guard, which leaves it by a
  // long jump when the memory faults: it must own nothing with a destructor (no strings,
  // containers, locks or smart pointers created inside it).
  using ApplyFunction = std::function<uint32_t(const uint8_t* data, uint32_t length)>;

  using BoundedFileData::BoundedFileData;

  // The address of the byte at the cursor, moving the cursor by n after checking
  // [Tell, Tell + n - 1]. Touches no memory. n = 0 gives nullptr.
  virtual uint8_t* Advance(uint32_t n) = 0;

  // The address of the byte at lower, whatever the cursor: the file's bytes themselves,
  // which may be written through it.
  virtual uint8_t* Data() = 0;

  // Calls `function` once with the range's bytes as the file holds them (upper - lower + 1
  // of them, whatever the cursor) and returns its result.
  virtual uint32_t Apply(const ApplyFunction& function) = 0;

  // Brings every byte of the range into memory, for a following Apply. Writes nothing.
  virtual void Fetch() = 0;
};

}  // namespace zarn

#endif  // ZARN_STORAGE_MEMORY_MAPPED_FILE_DATA_H_
