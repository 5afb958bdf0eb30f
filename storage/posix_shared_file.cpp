#include "storage/posix_shared_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <system_error>
#include <utility>

#include "storage/file_error.h"
#include "storage/file_exception.h"
#include "storage/file_mode.h"
#include "storage/posix_memory_map.h"
#include "storage/posix_memory_map_view.h"
#include "storage/posix_shared_file_path.h"
#include "storage/text_conversion.h"
#include "storage/view_buffer_pool.h"

namespace zarn {
namespace {

std::atomic<FileWriteFunction> g_file_write{&write};

// A write past RLIMIT_FSIZE must fail with EFBIG (a full disk, to the caller) instead of
// killing the process with SIGXFSZ.
void IgnoreFileSizeSignal() {
  static std::once_flag once;
  std::call_once(once, [] { signal(SIGXFSZ, SIG_IGN); });
}

void ValidateFolder(const std::string& folder) {
  if (folder.empty()) return;  // the current folder
  try {
    Utf8ToWide(folder);
    std::error_code error;
    (void)std::filesystem::canonical(folder, error);
    if (error) throw FileBadPathException();
  } catch (const FileException&) {
    throw;
  } catch (...) {
    throw FileBadPathException();
  }
}

int OpenFlags(SharedFileOpenMode mode) {
  const int flags = O_RDWR | O_CLOEXEC;
  switch (mode) {
    case SharedFileOpenMode::OpenAlways:
      return flags | O_CREAT;
    case SharedFileOpenMode::CreateNew:
      return flags | O_CREAT | O_EXCL;
    case SharedFileOpenMode::OpenExisting:
      break;
  }
  return flags;
}

}  // namespace

FileWriteFunction SetFileWriteFunction(FileWriteFunction function) {
  return g_file_write.exchange(function ? function : &write);
}

PosixSharedFile::PosixSharedFile(const std::string& folder, const std::string& file_name,
                                 SharedFileOpenMode mode, uint64_t lower, uint64_t upper)
    : SharedFile(lower, upper), folder_(folder), fileName_(file_name) {
  if (lower > upper) throw FileOutOfBoundsException();
  ValidateFolder(folder);
  path_ = BuildFilePath(folder, file_name);
  Open(folder, file_name, mode);
  try {
    Seek(lower);
  } catch (...) {
    close(fd_);
    throw;
  }
}

PosixSharedFile::~PosixSharedFile() {
  map_.reset();
  close(fd_);
}

void PosixSharedFile::Open(const std::string& folder, const std::string& file_name,
                           SharedFileOpenMode mode) {
  IgnoreFileSizeSignal();
  // Nothing below the folder follows a link: a link planted inside a destination must not
  // send the download, or the file later started, somewhere else.
  fd_ = OpenFileBelow(folder, file_name, OpenFlags(mode), mode != SharedFileOpenMode::OpenExisting);
}

uint64_t PosixSharedFile::Tell() {
  const off_t position = lseek(fd_, 0, SEEK_CUR);
  if (position < 0) ThrowFileException(errno, FileOperation::kSeek);
  return static_cast<uint64_t>(position);
}

void PosixSharedFile::Seek(uint64_t position) {
  CheckBounds(position, position);
  // Positions of 2^63 and more are negative as off_t; lseek refuses them (EINVAL).
  if (lseek(fd_, static_cast<off_t>(position), SEEK_SET) < 0) {
    ThrowFileException(errno, FileOperation::kSeek);
  }
}

uint32_t PosixSharedFile::Read(void* buffer, uint32_t n) {
  if (n == 0) return 0;
  const uint32_t m = n < 4096 ? n : 4096;
  const uint64_t position = Tell();
  RangeLength(position, position + m - 1);
  // Reads until m bytes or the end of the file: a short read in between would look like
  // the end of the file to callers.
  uint32_t done = 0;
  while (done < m) {
    const ssize_t got = read(fd_, static_cast<char*>(buffer) + done, m - done);
    if (got < 0) {
      if (errno == EINTR) continue;
      ThrowFileException(errno, FileOperation::kRead);
    }
    if (got == 0) break;
    done += static_cast<uint32_t>(got);
  }
  return done;
}

uint32_t PosixSharedFile::Write(const void* data, uint32_t n) {
  if (n == 0) return 0;
  const uint64_t position = Tell();
  RangeLength(position, position + n - 1);
  ForgetZeros();
  // All n bytes or an exception: a silently short write would pass for a whole one.
  const FileWriteFunction fileWrite = g_file_write.load();
  uint32_t done = 0;
  while (done < n) {
    const ssize_t put = fileWrite(fd_, static_cast<const char*>(data) + done, n - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      ThrowFileException(errno, FileOperation::kWrite);
    }
    // No byte taken and no error number: asking again would only get the same answer.
    if (put == 0) throw FileUnknownException();
    done += static_cast<uint32_t>(put);
  }
  return n;
}

uint64_t PosixSharedFile::Size() {
  struct stat status {};
  if (fstat(fd_, &status) != 0) ThrowFileException(errno, FileOperation::kSize);
  return static_cast<uint64_t>(status.st_size);
}

bool PosixSharedFile::Allocate(uint64_t size) {
  if (Size() != 0) return false;
  if (size == 0) return true;
  CheckBounds(0, size - 1);
  // Reserves the blocks, so that a full disk fails here and not later, as a fault inside
  // a view of a sparse file.
  int error;
  if (size > static_cast<uint64_t>(INT64_MAX)) {
    error = EFBIG;
  } else {
    do {
      error = posix_fallocate(fd_, 0, static_cast<off_t>(size));
    } while (error == EINTR);
  }
  if (error != 0) {
    // Whatever was reserved before the failure goes again: the file stays empty.
    while (ftruncate(fd_, 0) != 0 && errno == EINTR) {
    }
    ThrowFileException(error, FileOperation::kAllocate);
  }
  Seek(0);
  std::lock_guard<std::mutex> lock(mapMutex_);
  zeros_ = !map_;
  return true;
}

bool PosixSharedFile::IsAtPath() {
  struct stat opened {};
  struct stat named {};
  if (fstat(fd_, &opened) != 0 || !StatFileBelow(folder_, fileName_, &named)) return false;
  return named.st_dev == opened.st_dev && named.st_ino == opened.st_ino;
}

bool PosixSharedFile::DenyExecute() {
  struct stat status {};
  if (fstat(fd_, &status) != 0) return false;
  return fchmod(fd_, OwnerWritableMode(status.st_mode & 07777) & ~static_cast<mode_t>(0111)) == 0;
}

bool PosixSharedFile::AllowExecute() {
  struct stat status {};
  if (fstat(fd_, &status) != 0) return false;
  const mode_t mode = status.st_mode & 07777;
  return fchmod(fd_, OwnerWritableMode(mode | ((mode & 0444) >> 2))) == 0;
}

void PosixSharedFile::ForgetZeros() {
  std::lock_guard<std::mutex> lock(mapMutex_);
  zeros_ = false;
  if (map_) map_->ForgetZeros();
}

std::shared_ptr<MemoryMappedFileData> PosixSharedFile::Map() { return Map(lower_, upper_); }

std::shared_ptr<MemoryMappedFileData> PosixSharedFile::Map(uint64_t a, uint64_t b) {
  RangeLength(a, b);
  if (Size() <= b) throw FileInvalidMapException();
  std::shared_ptr<PosixMemoryMap> map;
  {
    // Always under the lock: an unlocked first look at map_ would race with its creation
    // on another thread.
    std::lock_guard<std::mutex> lock(mapMutex_);
    if (!map_) map_ = std::make_shared<PosixMemoryMap>(fd_, Size(), zeros_);
    map = map_;
  }
  if (b >= map->size()) throw FileInvalidMapException();
  return MakePosixMemoryMapView(std::move(map), a, b, &ViewBufferPool::Shared());
}

}  // namespace zarn
