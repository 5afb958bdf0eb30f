#include "storage/posix_memory_map.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <iterator>

#include "storage/file_error.h"
#include "storage/file_exception.h"

namespace zarn {
namespace {

int DuplicateDescriptor(int fd) {
  const int copy = fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) ThrowFileException(errno, FileOperation::kMap);
  return copy;
}

std::atomic<PositionalWriteFunction> g_positional_write{&pwrite};

}  // namespace

PositionalWriteFunction SetPositionalWriteFunction(PositionalWriteFunction function) {
  return g_positional_write.exchange(function ? function : &pwrite);
}

PosixMemoryMap::PosixMemoryMap(int fd, uint64_t size, bool zeros)
    : fd_(DuplicateDescriptor(fd)), size_(size), zeros_(zeros) {}

PosixMemoryMap::~PosixMemoryMap() { close(fd_); }

void PosixMemoryMap::CheckNotTruncated() const {
  struct stat status {};
  if (fstat(fd_, &status) != 0) ThrowFileException(errno, FileOperation::kSize);
  if (static_cast<uint64_t>(status.st_size) < size_) throw FileInvalidMapException();
}

void PosixMemoryMap::WriteAt(const uint8_t* data, uint64_t n, uint64_t offset) {
  std::lock_guard<std::mutex> lock(writeMutex_);
  CheckNotTruncated();
  // Before the first byte goes: a write that fails part-way has still put bytes there.
  MarkWrittenLocked(offset, offset + n);
  const PositionalWriteFunction positionalWrite = g_positional_write.load();
  uint64_t done = 0;
  while (done < n) {
    const ssize_t put =
        positionalWrite(fd_, data + done, n - done, static_cast<off_t>(offset + done));
    if (put < 0) {
      if (errno == EINTR) continue;
      ThrowFileException(errno, FileOperation::kWrite);
    }
    // No byte taken and no error number: asking again would only get the same answer.
    if (put == 0) throw FileUnknownException();
    done += static_cast<uint64_t>(put);
  }
  CheckNotTruncated();
}

void PosixMemoryMap::ReadAt(uint8_t* data, uint64_t n, uint64_t offset) const {
  uint64_t done = 0;
  while (done < n) {
    const ssize_t got = pread(fd_, data + done, n - done, static_cast<off_t>(offset + done));
    if (got < 0) {
      if (errno == EINTR) continue;
      ThrowFileException(errno, FileOperation::kRead);
    }
    if (got == 0) throw FileInvalidMapException();  // the file ends before the range does
    done += static_cast<uint64_t>(got);
  }
}

bool PosixMemoryMap::KnownZero(uint64_t lower, uint64_t upper) {
  std::lock_guard<std::mutex> lock(writeMutex_);
  if (!zeros_) return false;
  // The written runs are disjoint and sorted, so the last one that begins at or before
  // upper reaches furthest of all that might overlap.
  auto after = written_.upper_bound(upper);
  return after == written_.begin() || std::prev(after)->second <= lower;
}

void PosixMemoryMap::MarkWritten(uint64_t lower, uint64_t upper) {
  std::lock_guard<std::mutex> lock(writeMutex_);
  MarkWrittenLocked(lower, upper + 1);
}

void PosixMemoryMap::ForgetZeros() {
  std::lock_guard<std::mutex> lock(writeMutex_);
  zeros_ = false;
  written_.clear();
}

void PosixMemoryMap::MarkWrittenLocked(uint64_t begin, uint64_t end) {
  if (!zeros_ || begin >= end) return;
  // Merges every run that overlaps or touches [begin, end) into one.
  auto it = written_.upper_bound(begin);
  if (it != written_.begin() && std::prev(it)->second >= begin) --it;
  while (it != written_.end() && it->first <= end) {
    begin = std::min(begin, it->first);
    end = std::max(end, it->second);
    it = written_.erase(it);
  }
  written_.emplace(begin, end);
}

}  // namespace zarn
