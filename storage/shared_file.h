#ifndef ZARN_STORAGE_SHARED_FILE_H_
#define ZARN_STORAGE_SHARED_FILE_H_

#include <cstdint>
#include <memory>

#include "storage/bounded_file_data.h"

namespace zarn {

class MemoryMappedFileData;

enum class SharedFileOpenMode : uint8_t {
  OpenAlways = 0,    // open the file or create it
  CreateNew = 1,     // create it; FileInUseException if it exists
  OpenExisting = 2,  // open it; FileBadPathException if it is missing
};

// One open file, shared through a shared pointer by everything that touches it, bounded
// to [lower, upper]. Tell, Seek, Read and Write share one cursor and take no lock: one
// user at a time. Map may be called from many threads at once.
class SharedFile : public BoundedFileData {
 public:
  using BoundedFileData::BoundedFileData;

  // The file's current size.
  virtual uint64_t Size() = 0;

  // Gives an empty file its size in one step, reserving the disk space: false (and nothing
  // changed) when the file is not empty; true at once for 0; the range must cover
  // [0, size - 1], else FileOutOfBoundsException; a full disk raises
  // FileInsufficientSpaceException and leaves the file empty. The cursor ends at 0.
  virtual bool Allocate(uint64_t size) = 0;

  // Whether the file's path, walked as the file was opened, still names this open file:
  // false once another process has deleted it or put another file in its place (a link
  // included), or when the path can no longer be walked. Never throws.
  virtual bool IsAtPath() = 0;

  // Makes the file runnable again after DenyExecute; false when refused.
  virtual bool AllowExecute() = 0;

  // Makes the file runnable by nobody; false when refused.
  virtual bool DenyExecute() = 0;

  // A view of [lower, upper].
  virtual std::shared_ptr<MemoryMappedFileData> Map() = 0;

  // A view of [a, b], which must lie within the bounds (FileOutOfBoundsException), within
  // the file's current size and within the size the file had at its first Map
  // (FileInvalidMapException). A range of 2^32 bytes or more raises std::bad_alloc.
  virtual std::shared_ptr<MemoryMappedFileData> Map(uint64_t a, uint64_t b) = 0;
};

}  // namespace zarn

#endif  // ZARN_STORAGE_SHARED_FILE_H_
