#ifndef ZARN_STORAGE_POSIX_SHARED_FILE_H_
#define ZARN_STORAGE_POSIX_SHARED_FILE_H_

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "storage/shared_file.h"

namespace zarn {

class PosixMemoryMap;

// How Write puts bytes into the file at its cursor, with write's contract: the count
// written (0 included), or -1 with errno set. Tests replace it to get the answers that a
// real file cannot be made to give.
using FileWriteFunction = ssize_t (*)(int fd, const void* data, std::size_t n);

// Makes function the one every file's Write uses (nullptr: the system's write); returns
// the one used before.
FileWriteFunction SetFileWriteFunction(FileWriteFunction function);

// A SharedFile over one O_RDWR | O_NOFOLLOW | O_CLOEXEC descriptor. Made through
// PosixSharedFileFactory::Create. The execute guard is the mode's x bits: AllowExecute sets
// x wherever r is set, DenyExecute clears every x bit, and both take away any write bit of
// group or others (OwnerWritableMode).
class PosixSharedFile : public SharedFile {
 public:
  // Opens folder/fileName as Create describes; throws the FileException kinds.
  PosixSharedFile(const std::string& folder, const std::string& file_name, SharedFileOpenMode mode,
                  uint64_t lower, uint64_t upper);
  ~PosixSharedFile() override;

  uint64_t Tell() override;
  void Seek(uint64_t position) override;
  uint32_t Read(void* buffer, uint32_t n) override;
  uint32_t Write(const void* data, uint32_t n) override;
  uint64_t Size() override;
  bool Allocate(uint64_t size) override;
  bool IsAtPath() override;
  bool AllowExecute() override;
  bool DenyExecute() override;
  std::shared_ptr<MemoryMappedFileData> Map() override;
  std::shared_ptr<MemoryMappedFileData> Map(uint64_t a, uint64_t b) override;

 private:
  void Open(const std::string& folder, const std::string& file_name, SharedFileOpenMode mode);
  // The file is written around its views: no range is known to hold zeros any more.
  void ForgetZeros();

  int fd_ = -1;
  std::mutex mapMutex_;                  // guards map_ and zeros_
  std::shared_ptr<PosixMemoryMap> map_;  // made at the first Map, shared with the views
  bool zeros_ = false;                   // sized by Allocate and not written since: every byte is 0
  std::string path_;
  std::string folder_;  // as given: IsAtPath walks from it again
  std::string fileName_;
};

}  // namespace zarn

#endif  // ZARN_STORAGE_POSIX_SHARED_FILE_H_
