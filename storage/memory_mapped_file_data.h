#ifndef ZARN_STORAGE_MEMORY_MAPPED_FILE_DATA_H_
#define ZARN_STORAGE_MEMORY_MAPPED_FILE_DATA_H_

#include <cstdint>
#include <functional>

#include "storage/bounded_file_data.h"

namespace zarn {

// A memory-mapped view of exactly the byte range [lower, upper] of a file. A fault while
// the view's memory is touched through Read, Write, Apply or Fetch reaches the caller as
// FileInvalidMapException. Used by one thread at a time; views of disjoint ranges of one
// file may be used from different threads at once.
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

  // The address of the byte at lower, whatever the cursor.
  virtual uint8_t* Data() = 0;

  // Calls `function` once with (Data(), upper - lower + 1) and returns its result.
  virtual uint32_t Apply(const ApplyFunction& function) = 0;

  // Touches every page of the range, bringing it into memory.
  virtual void Fetch() = 0;
};

}  // namespace zarn

#endif  // ZARN_STORAGE_MEMORY_MAPPED_FILE_DATA_H_
