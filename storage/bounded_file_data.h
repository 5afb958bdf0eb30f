#ifndef ZARN_STORAGE_BOUNDED_FILE_DATA_H_
#define ZARN_STORAGE_BOUNDED_FILE_DATA_H_

#include <cstdint>

namespace zarn {

// Bytes bounded to the inclusive range [lower, upper], with a cursor. Positions are
// absolute file offsets. Nothing outside the range may be sought, read or written.
class BoundedFileData {
 public:
  BoundedFileData(uint64_t lower, uint64_t upper) : lower_(lower), upper_(upper) {}
  virtual ~BoundedFileData() = default;

  BoundedFileData(const BoundedFileData&) = delete;
  BoundedFileData& operator=(const BoundedFileData&) = delete;

  // The cursor.
  virtual uint64_t Tell() = 0;
  // Moves the cursor to `position`, which must lie in [lower, upper], else
  // FileOutOfBoundsException.
  virtual void Seek(uint64_t position) = 0;
  // Copies at most 4096 bytes from the cursor into `buffer` and returns the count; n = 0
  // gives 0 at once.
  virtual uint32_t Read(void* buffer, uint32_t n) = 0;
  // Writes all n bytes at the cursor and returns n; n = 0 gives 0 at once.
  virtual uint32_t Write(const void* data, uint32_t n) = 0;

  uint64_t lower() const { return lower_; }
  uint64_t upper() const { return upper_; }

  // Passes when a <= b, a >= lower and b <= upper; otherwise FileOutOfBoundsException.
  void CheckBounds(uint64_t a, uint64_t b) const;

  // CheckBounds(a, b), then b - a + 1, which must be below 2^32, else std::bad_alloc.
  uint32_t RangeLength(uint64_t a, uint64_t b) const;

 protected:
  uint64_t lower_;
  uint64_t upper_;
};

}  // namespace zarn

#endif  // ZARN_STORAGE_BOUNDED_FILE_DATA_H_
