#ifndef ZARN_STORAGE_POSIX_MEMORY_MAP_VIEW_H_
#define ZARN_STORAGE_POSIX_MEMORY_MAP_VIEW_H_

#include <cstdint>
#include <memory>

#include "storage/memory_mapped_file_data.h"

namespace zarn {

class PosixMemoryMap;

// A shared, writable mmap of the page-aligned region that covers [lower, upper]. Holds no
// reference to the mapping or the file; unmaps on destruction.
class PosixMemoryMapView : public MemoryMappedFileData {
 public:
  // Maps [lower, upper] of `map`'s file. FileOutOfBoundsException when lower > upper;
  // std::bad_alloc when the range or the mapped region is 2^32 bytes or more; the kind of
  // mmap's error number otherwise.
  PosixMemoryMapView(const PosixMemoryMap& map, uint64_t lower, uint64_t upper);
  ~PosixMemoryMapView() override;

  uint64_t Tell() override;
  void Seek(uint64_t position) override;
  uint32_t Read(void* buffer, uint32_t n) override;
  uint32_t Write(const void* data, uint32_t n) override;
  uint8_t* Advance(uint32_t n) override;
  uint8_t* Data() override;
  uint32_t Apply(const ApplyFunction& function) override;
  void Fetch() override;

  // The distance from the mapped base to the byte at lower.
  uint32_t delta() const { return delta_; }

 private:
  uint32_t Length() const { return static_cast<uint32_t>(upper_ - lower_ + 1); }

  uint8_t* base_ = nullptr;
  uint64_t mapped_length_ = 0;
  uint32_t delta_ = 0;
  uint32_t position_ = 0;
};

std::shared_ptr<MemoryMappedFileData> MakePosixMemoryMapView(const PosixMemoryMap& map,
                                                             uint64_t lower, uint64_t upper);

// Reads the first byte of every page_size bytes of [data, data + length) through a
// volatile pointer (so that no read is optimised away), sets `combined` to 0 AND-ed with
// each, and returns how many it read. The offset is 64-bit: a 32-bit one would wrap from
// the last page of a range close to 4 GiB back into the range and never end.
uint64_t TouchPages(const volatile uint8_t* data, uint64_t length, uint64_t page_size,
                    uint8_t& combined);

}  // namespace zarn

#endif  // ZARN_STORAGE_POSIX_MEMORY_MAP_VIEW_H_
