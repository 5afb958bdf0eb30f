#include "storage/posix_memory_map_view.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <stdexcept>

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

}  // namespace

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

PosixMemoryMapView::PosixMemoryMapView(const PosixMemoryMap& map, uint64_t lower, uint64_t upper)
    : MemoryMappedFileData(lower, upper) {
  RangeLength(lower, upper);
  const uint64_t delta = lower % PageSize();
  const uint64_t offset = lower - delta;
  const uint64_t mapped_length = upper - offset + 1;
  if (mapped_length >= 0x100000000ull) throw std::bad_alloc();
  void* base = mmap(nullptr, mapped_length, PROT_READ | PROT_WRITE, MAP_SHARED, map.fd(),
                    static_cast<off_t>(offset));
  if (base == MAP_FAILED) ThrowFileException(errno, FileOperation::kMap);
  base_ = static_cast<uint8_t*>(base);
  mapped_length_ = mapped_length;
  delta_ = static_cast<uint32_t>(delta);
}

PosixMemoryMapView::~PosixMemoryMapView() { munmap(base_, mapped_length_); }

uint64_t PosixMemoryMapView::Tell() { return lower_ + position_; }

void PosixMemoryMapView::Seek(uint64_t position) {
  CheckBounds(position, position);
  position_ = static_cast<uint32_t>(position - lower_);
}

uint32_t PosixMemoryMapView::Read(void* buffer, uint32_t n) {
  if (n == 0) return 0;
  const uint32_t m = n < 4096 ? n : 4096;
  // The cursor moves before the copy: after a fault it is past the bytes.
  CopyJob job{buffer, Advance(m), m};
  if (!RunWithFaultGuard(base_, mapped_length_, RunCopy, &job)) {
    throw FileInvalidMapException();
  }
  return m;
}

uint32_t PosixMemoryMapView::Write(const void* data, uint32_t n) {
  if (n == 0) return 0;
  RangeLength(Tell(), Tell() + n - 1);
  // The cursor moves only after the copy: after a fault it has not moved.
  CopyJob job{base_ + delta_ + position_, data, n};
  if (!RunWithFaultGuard(base_, mapped_length_, RunCopy, &job)) {
    throw FileInvalidMapException();
  }
  position_ += n;
  return n;
}

uint8_t* PosixMemoryMapView::Advance(uint32_t n) {
  if (n == 0) return nullptr;
  RangeLength(Tell(), Tell() + n - 1);
  uint8_t* at = base_ + delta_ + position_;
  position_ += n;
  return at;
}

uint8_t* PosixMemoryMapView::Data() { return base_ + delta_; }

uint32_t PosixMemoryMapView::Apply(const ApplyFunction& function) {
  ApplyJob job{&function, Data(), Length(), 0};
  if (!RunWithFaultGuard(base_, mapped_length_, RunApply, &job)) {
    throw FileInvalidMapException();
  }
  return job.result;
}

void PosixMemoryMapView::Fetch() {
  // One call brings every page in, present and writable, without a fault per page (the
  // chunk is verified and then written through this view). EFAULT is the kernel's word for
  // a page that would raise SIGBUS, such as one past a truncated end.
  if (madvise(base_, mapped_length_, MADV_POPULATE_WRITE) == 0) return;
  if (errno == EFAULT) throw FileInvalidMapException();
  // Older kernels lack the advice: touch the pages, so that faults surface here.
  madvise(base_, mapped_length_, MADV_WILLNEED);
  FetchJob job{Data(), Length(), 0};
  if (!RunWithFaultGuard(base_, mapped_length_, RunFetch, &job)) {
    throw FileInvalidMapException();
  }
  if (job.value != 0) {
    throw std::logic_error(
        "PosixMemoryMapView::Fetch: actual logic error, dummy result must be zero");
  }
}

std::shared_ptr<MemoryMappedFileData> MakePosixMemoryMapView(const PosixMemoryMap& map,
                                                             uint64_t lower, uint64_t upper) {
  return std::make_shared<PosixMemoryMapView>(map, lower, upper);
}

}  // namespace zarn
