#include "storage/file_error.h"

#include <cerrno>
#include <new>

#include "storage/file_exception.h"

namespace zarn {

FileErrorKind ClassifyFileError(int error, FileOperation operation) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return FileErrorKind::kBadPath;
    case EINVAL:
      switch (operation) {
        case FileOperation::kOpen:
        case FileOperation::kDelete:
          return FileErrorKind::kBadPath;
        case FileOperation::kMap:
          return FileErrorKind::kInvalidMap;
        default:
          return FileErrorKind::kUnknown;
      }
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return FileErrorKind::kInaccessible;
    case ENOMEM:
      return FileErrorKind::kOutOfMemory;
    case EEXIST:
    case ETXTBSY:
    case EBUSY:
    case EAGAIN:  // also EWOULDBLOCK
    case EDEADLK:
      return FileErrorKind::kInUse;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return FileErrorKind::kInsufficientSpace;
    case ENODEV:
    case EOVERFLOW:
      return operation == FileOperation::kMap ? FileErrorKind::kInvalidMap
                                              : FileErrorKind::kUnknown;
    default:
      return FileErrorKind::kUnknown;
  }
}

void ThrowFileException(FileErrorKind kind) {
  switch (kind) {
    case FileErrorKind::kBadPath:
      throw FileBadPathException();
    case FileErrorKind::kInaccessible:
      throw FileInaccessibleException();
    case FileErrorKind::kOutOfMemory:
      throw std::bad_alloc();
    case FileErrorKind::kInUse:
      throw FileInUseException();
    case FileErrorKind::kInsufficientSpace:
      throw FileInsufficientSpaceException();
    case FileErrorKind::kInvalidMap:
      throw FileInvalidMapException();
    case FileErrorKind::kUnknown:
      break;
  }
  throw FileUnknownException();
}

void ThrowFileException(int error, FileOperation operation) {
  ThrowFileException(ClassifyFileError(error, operation));
}

}  // namespace zarn
