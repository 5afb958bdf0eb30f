#ifndef ZARN_STORAGE_FILE_ERROR_H_
#define ZARN_STORAGE_FILE_ERROR_H_

namespace zarn {

// The call that failed: one errno means different things for different calls (EINVAL from
// open is a bad name, from mmap a bad mapping, from lseek an impossible position).
enum class FileOperation { kOpen, kRead, kWrite, kSeek, kSize, kAllocate, kMap, kDelete };

// What an error number stands for.
enum class FileErrorKind {
  kBadPath,
  kInaccessible,
  kOutOfMemory,  // std::bad_alloc
  kInUse,
  kInsufficientSpace,
  kInvalidMap,
  kUnknown,
};

FileErrorKind ClassifyFileError(int error, FileOperation operation);

// Throws the exception of `kind`: a FileException kind, or std::bad_alloc.
[[noreturn]] void ThrowFileException(FileErrorKind kind);

// Throws the exception that the error number of a failed `operation` stands for. Pass the
// errno captured right after the failing call.
[[noreturn]] void ThrowFileException(int error, FileOperation operation);

}  // namespace zarn

#endif  // ZARN_STORAGE_FILE_ERROR_H_
