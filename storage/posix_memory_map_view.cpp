#include "storage/posix_memory_map_view.h"

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

#include "storage/fault_guard.h"
#include "storage/file_error.h"
#include "storage/file_exception.h"
#include "storage/posix_memory_map.h"

namespace zarn {
namespace {

uint64_t PageSize() {
  static const uint64_t page_size = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
  return page_size;
}

struct CopyJob {
  void* to;
  const void* from;
  std::size_t n;
};

void RunCopy(void* context) {
  CopyJob* job = static_cast<CopyJob*>(context);
  std::memcpy(job->to, job->from, job->n);
}

struct ApplyJob {
  const MemoryMappedFileData::ApplyFunction* function;
  const uint8_t* data;
  uint32_t length;
  uint32_t result;
};

void RunApply(void* context) {
  ApplyJob* job = static_cast<ApplyJob*>(context);
  job->result = (*job->function)(job->data, job->length);
}

struct FetchJob {
  const volatile uint8_t* data;
  uint64_t length;
  uint8_t value;
};

void RunFetch(void* context) {
  FetchJob* job = static_cast<FetchJob*>(context);
  TouchPages(job->data, job->length, PageSize(), job->value);
}

constexpr uint32_t kZeroRegionBytes = 16u << 20;

// kZeroRegionBytes of zeros that cost neither memory nor time to read: a read-only private
// mapping whose pages all map the system's one zero page, mapped once for the process.
// Falls back to a zero-filled allocation when the system refuses the mapping.
const uint8_t* Zeros() {
  static const uint8_t* const zeros = [] {
    void* region = mmap(nullptr, kZeroRegionBytes, PROT_READ,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (region != MAP_FAILED) return static_cast<const uint8_t*>(region);
    return static_cast<const uint8_t*>(calloc(kZeroRegionBytes, 1));
  }();
  if (zeros == nullptr) throw std::bad_alloc();
  return zeros;
}

int KernelPopulatePages(void* address, std::size_t length) {
  return madvise(address, length, MADV_POPULATE_READ);
}

std::atomic<PopulatePagesFunction> g_populate_pages{&KernelPopulatePages};

}  // namespace

PopulatePagesFunction SetPopulatePagesFunction(PopulatePagesFunction function) {
  return g_populate_pages.exchange(function ? function : &KernelPopulatePages);
}

uint64_t TouchPages(const volatile uint8_t* data, uint64_t length, uint64_t page_size,
                    uint8_t& combined) {
  uint64_t touched = 0;
  uint8_t value = 0;
  for (uint64_t offset = 0; offset < length; offset += page_size) {
    value &= data[offset];
    ++touched;
  }
  combined = value;
  return touched;
}

PosixMemoryMapView::PosixMemoryMapView(std::shared_ptr<PosixMemoryMap> map, uint64_t lower,
                                       uint64_t upper, ViewBufferPool* pool)
    : MemoryMappedFileData(lower, upper), map_(std::move(map)) {
  RangeLength(lower, upper);
  delta_ = static_cast<uint32_t>(lower % PageSize());
  if (upper - (lower - delta_) + 1 >= 0x100000000ull) throw std::bad_alloc();
  if (pool != nullptr) buffer_ = pool->Acquire(Length());
  if (!buffer_) MapRange();
}

PosixMemoryMapView::~PosixMemoryMapView() {
  try {
    if (buffer_) Flush();
  } catch (...) {
  }
  if (base_ != nullptr) munmap(base_, mappedLength_);
}

uint64_t PosixMemoryMapView::Tell() { return lower_ + position_; }

void PosixMemoryMapView::Seek(uint64_t position) {
  CheckBounds(position, position);
  position_ = static_cast<uint32_t>(position - lower_);
}

uint32_t PosixMemoryMapView::Read(void* buffer, uint32_t n) {
  if (n == 0) return 0;
  const uint32_t m = n < 4096 ? n : 4096;
  RangeLength(Tell(), Tell() + m - 1);
  // The cursor moves before the copy: after a failure it is past the bytes.
  const uint32_t at = position_;
  position_ += m;
  if (buffer_) {
    Flush();
    map_->ReadAt(static_cast<uint8_t*>(buffer), m, lower_ + at);
    return m;
  }
  CopyJob job{buffer, base_ + delta_ + at, m};
  if (!RunWithFaultGuard(base_, mappedLength_, RunCopy, &job)) {
    throw FileInvalidMapException();
  }
  return m;
}

uint32_t PosixMemoryMapView::Write(const void* data, uint32_t n) {
  if (n == 0) return 0;
  RangeLength(Tell(), Tell() + n - 1);
  if (!buffer_) return WriteMapped(data, n);
  const uint32_t begin = position_;
  const uint32_t end = position_ + n;
  if (dirtyBegin_ == dirtyEnd_) {
    // A truncated file fails the write that starts a run, not only the one that ends it.
    map_->CheckNotTruncated();
    dirtyBegin_ = begin;
    dirtyEnd_ = end;
  } else if (end < dirtyBegin_ || begin > dirtyEnd_) {
    Flush();
    dirtyBegin_ = begin;
    dirtyEnd_ = end;
  } else {
    // Touching or overlapping the pending run (a body written again from the start after
    // a failed attempt): one run still, written once.
    dirtyBegin_ = std::min(dirtyBegin_, begin);
    dirtyEnd_ = std::max(dirtyEnd_, end);
  }
  std::memcpy(buffer_.data() + begin, data, n);
  if (dirtyBegin_ == 0 && dirtyEnd_ == Length()) {
    content_ = Content::kBuffer;
  } else if (content_ == Content::kZeros) {
    content_ = Content::kUnknown;  // the buffer holds these bytes only, not the zeros around
  }
  // The range's last byte ends a body: the file gets the whole run in one call (writes in
  // pieces cost more, in locks and in the checks around each write, than they save).
  if (dirtyEnd_ == Length()) Flush();
  position_ = end;  // only after the write: after a failure the cursor has not moved
  return n;
}

uint8_t* PosixMemoryMapView::Advance(uint32_t n) {
  if (n == 0) return nullptr;
  RangeLength(Tell(), Tell() + n - 1);
  if (buffer_) MapRange();
  uint8_t* at = base_ + delta_ + position_;
  position_ += n;
  return at;
}

uint8_t* PosixMemoryMapView::Data() {
  if (buffer_) MapRange();
  return base_ + delta_;
}

uint32_t PosixMemoryMapView::Apply(const ApplyFunction& function) {
  if (!buffer_) return ApplyMapped(function);
  Flush();
  if (content_ == Content::kUnknown) Fill();
  map_->CheckNotTruncated();
  return function(content_ == Content::kZeros ? Zeros() : buffer_.data(), Length());
}

void PosixMemoryMapView::Fetch() {
  if (!buffer_) return FetchMapped();
  Fill();
}

void PosixMemoryMapView::Fill() {
  Flush();
  content_ = Content::kUnknown;
  if (map_->KnownZero(lower_, upper_) && Length() <= kZeroRegionBytes) {
    map_->CheckNotTruncated();
    content_ = Content::kZeros;
    return;
  }
  map_->ReadAt(buffer_.data(), Length(), lower_);
  content_ = Content::kBuffer;
}

void PosixMemoryMapView::Flush() {
  if (dirtyBegin_ == dirtyEnd_) return;
  map_->WriteAt(buffer_.data() + dirtyBegin_, dirtyEnd_ - dirtyBegin_, lower_ + dirtyBegin_);
  dirtyBegin_ = dirtyEnd_ = 0;
}

void PosixMemoryMapView::MapRange() {
  if (buffer_) {
    Flush();
    buffer_ = ViewBufferPool::Buffer();
    content_ = Content::kUnknown;
  }
  const uint64_t offset = lower_ - delta_;
  const uint64_t mapped_length = upper_ - offset + 1;
  void* base = mmap(nullptr, mapped_length, PROT_READ | PROT_WRITE, MAP_SHARED, map_->fd(),
                    static_cast<off_t>(offset));
  if (base == MAP_FAILED) ThrowFileException(errno, FileOperation::kMap);
  base_ = static_cast<uint8_t*>(base);
  mappedLength_ = mapped_length;
  map_->MarkWritten(lower_, upper_);  // written through pointers from now on, unseen
}

uint32_t PosixMemoryMapView::WriteMapped(const void* data, uint32_t n) {
  // The cursor moves only after the copy: after a fault it has not moved.
  CopyJob job{base_ + delta_ + position_, data, n};
  if (!RunWithFaultGuard(base_, mappedLength_, RunCopy, &job)) {
    throw FileInvalidMapException();
  }
  position_ += n;
  return n;
}

uint32_t PosixMemoryMapView::ApplyMapped(const ApplyFunction& function) {
  ApplyJob job{&function, base_ + delta_, Length(), 0};
  if (!RunWithFaultGuard(base_, mappedLength_, RunApply, &job)) {
    throw FileInvalidMapException();
  }
  return job.result;
}

void PosixMemoryMapView::FetchMapped() {
  // One call brings every page in, without a fault per page. Readable only: a page made
  // writable is dirty, and a chunk that is already complete must not be written back (nor
  // move the file's modification time). EFAULT is the kernel's word for a page that would
  // raise SIGBUS, such as one past a truncated end.
  if (g_populate_pages.load()(base_, mappedLength_) == 0) return;
  if (errno == EFAULT) throw FileInvalidMapException();
  // Older kernels lack the advice: touch the pages, so that faults surface here.
  madvise(base_, mappedLength_, MADV_WILLNEED);
  FetchJob job{base_ + delta_, Length(), 0};
  if (!RunWithFaultGuard(base_, mappedLength_, RunFetch, &job)) {
    throw FileInvalidMapException();
  }
  if (job.value != 0) {
    throw std::logic_error(
        "PosixMemoryMapView::Fetch: actual logic error, dummy result must be zero");
  }
}

std::shared_ptr<MemoryMappedFileData> MakePosixMemoryMapView(std::shared_ptr<PosixMemoryMap> map,
                                                             uint64_t lower, uint64_t upper,
                                                             ViewBufferPool* pool) {
  return std::make_shared<PosixMemoryMapView>(std::move(map), lower, upper, pool);
}

}  // namespace zarn
