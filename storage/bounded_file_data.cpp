#include "storage/bounded_file_data.h"

#include <new>

#include "storage/file_exception.h"

namespace zarn {

void BoundedFileData::CheckBounds(uint64_t a, uint64_t b) const {
  if (a > b || a < lower_ || b > upper_) throw FileOutOfBoundsException();
}

uint32_t BoundedFileData::RangeLength(uint64_t a, uint64_t b) const {
  CheckBounds(a, b);
  const uint64_t length = b - a;  // one less than the length, so [0, UINT64_MAX] cannot wrap
  if (length >= 0xFFFFFFFFu) throw std::bad_alloc();
  return static_cast<uint32_t>(length + 1);
}

}  // namespace zarn
