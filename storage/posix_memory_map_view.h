#ifndef ZARN_STORAGE_POSIX_MEMORY_MAP_VIEW_H_
#define ZARN_STORAGE_POSIX_MEMORY_MAP_VIEW_H_

#include <cstddef>
#include <cstdint>
#include <memory>

#include "storage/memory_mapped_file_data.h"
#include "storage/view_buffer_pool.h"

namespace zarn {

class PosixMemoryMap;

// A view of [lower, upper] of a file, in one of two ways:
// - buffered (when the pool gives the view a buffer for its range): Fetch reads the range
//   into the buffer, Apply runs over the buffer, Write copies into it and writes the file
//   once the range is complete (or before anything reads the file), in one call; the
//   file's pages are never mapped, and a range that is only read is never written.
// - mapped (without a buffer, or from the first Data or Advance on): a shared, writable mmap
//   of the page-aligned region that covers the range, under the fault guard.
// Either way a file that another process truncated ends in FileInvalidMapException.
class PosixMemoryMapView : public MemoryMappedFileData {
 public:
  // A view over `map`'s file; `pool` may be null (always mapped). FileOutOfBoundsException
  // when lower > upper; std::bad_alloc when the range or the region to map is 2^32 bytes or
  // more; the kind of mmap's error number when a mapped view cannot be made.
  PosixMemoryMapView(std::shared_ptr<PosixMemoryMap> map, uint64_t lower, uint64_t upper,
                     ViewBufferPool* pool);
  // Writes what the buffer still holds for the file; an error is lost here (Apply, the last
  // step of every chunk that was written, would have reported it).
  ~PosixMemoryMapView() override;

  uint64_t Tell() override;
  void Seek(uint64_t position) override;
  uint32_t Read(void* buffer, uint32_t n) override;
  uint32_t Write(const void* data, uint32_t n) override;
  uint8_t* Advance(uint32_t n) override;
  uint8_t* Data() override;
  uint32_t Apply(const ApplyFunction& function) override;
  void Fetch() override;

  // The distance from the start of the page that holds lower to lower.
  uint32_t delta() const { return delta_; }
  bool buffered() const { return static_cast<bool>(buffer_); }

 private:
  uint32_t Length() const { return static_cast<uint32_t>(upper_ - lower_ + 1); }

  // Buffered: learns the range's bytes, after writing what is pending: zeros when the map
  // knows them to be, else read into the buffer.
  void Fill();
  // Buffered: writes the pending bytes [dirtyBegin_, dirtyEnd_) to the file.
  void Flush();
  // Leaves the buffered way for good: pending bytes written, buffer returned, range mapped.
  void MapRange();

  uint32_t WriteMapped(const void* data, uint32_t n);
  uint32_t ApplyMapped(const ApplyFunction& function);
  void FetchMapped();

  std::shared_ptr<PosixMemoryMap> map_;
  ViewBufferPool::Buffer buffer_;
  // What the view knows of the range's bytes, as the file has them once the pending bytes
  // are written: nothing; all zeros (the buffer is not filled for them); or the buffer.
  enum class Content { kUnknown, kZeros, kBuffer };
  Content content_ = Content::kUnknown;
  uint32_t dirtyBegin_ = 0;  // offsets from lower of the bytes not yet written to the file
  uint32_t dirtyEnd_ = 0;
  uint8_t* base_ = nullptr;  // the mapped region, once mapped
  uint64_t mappedLength_ = 0;
  uint32_t delta_ = 0;
  uint32_t position_ = 0;
};

std::shared_ptr<MemoryMappedFileData> MakePosixMemoryMapView(std::shared_ptr<PosixMemoryMap> map,
                                                             uint64_t lower, uint64_t upper,
                                                             ViewBufferPool* pool);

// How a mapped view's Fetch asks the kernel to bring a range's pages in at once: 0, or -1
// with errno set. Tests replace it to take the page walk that kernels refusing the request
// get.
using PopulatePagesFunction = int (*)(void* address, std::size_t length);

// Makes function the one every view's Fetch uses (nullptr: the kernel's); returns the one
// used before.
PopulatePagesFunction SetPopulatePagesFunction(PopulatePagesFunction function);

// Reads the first byte of every page_size bytes of [data, data + length) through a
// volatile pointer (so that no read is optimised away), sets `combined` to 0 AND-ed with
// each, and returns how many it read. The offset is 64-bit: a 32-bit one would wrap from
// the last page of a range close to 4 GiB back into the range and never end.
uint64_t TouchPages(const volatile uint8_t* data, uint64_t length, uint64_t page_size,
                    uint8_t& combined);

}  // namespace zarn

#endif  // ZARN_STORAGE_POSIX_MEMORY_MAP_VIEW_H_
