#ifndef ZARN_STORAGE_FILE_EXCEPTION_H_
#define ZARN_STORAGE_FILE_EXCEPTION_H_

#include <exception>

namespace zarn {

// The failures of the shared-file layer. Thrown default-constructed, without a message:
// the kind is the whole information.
class FileException : public std::exception {
 public:
  ~FileException() override = 0;
};

// The path cannot be built, its folder does not resolve, or the name is rejected or missing.
class FileBadPathException : public FileException {};

// Access denied or write-protected.
class FileInaccessibleException : public FileException {};

// Sharing or lock violation, the file already exists, the device is busy.
class FileInUseException : public FileException {};

// The disk is full or the file would be too large.
class FileInsufficientSpaceException : public FileException {};

// A view cannot be made, the range lies beyond the mapping, or a fault occurred while a
// view was touched.
class FileInvalidMapException : public FileException {};

// A position or range outside the file's bounds, or lower greater than upper.
class FileOutOfBoundsException : public FileException {};

// Any other error.
class FileUnknownException : public FileException {};

}  // namespace zarn

#endif  // ZARN_STORAGE_FILE_EXCEPTION_H_
