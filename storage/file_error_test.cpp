#include "storage/file_error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <new>

#include "storage/file_exception.h"

namespace zarn {
namespace {

using Op = FileOperation;
using Kind = FileErrorKind;

TEST(FileErrorTest, SortsErrorNumbersByMeaning) {
  struct Case {
    int error;
    Op operation;
    Kind kind;
  } cases[] = {
      {ENOENT, Op::kOpen, Kind::kBadPath},
      {ENOTDIR, Op::kOpen, Kind::kBadPath},
      {ENAMETOOLONG, Op::kOpen, Kind::kBadPath},
      {ELOOP, Op::kOpen, Kind::kBadPath},
      {EINVAL, Op::kOpen, Kind::kBadPath},
      {EINVAL, Op::kDelete, Kind::kBadPath},
      {EINVAL, Op::kMap, Kind::kInvalidMap},
      {EINVAL, Op::kSeek, Kind::kUnknown},
      {EACCES, Op::kOpen, Kind::kInaccessible},
      {EPERM, Op::kOpen, Kind::kInaccessible},
      {EROFS, Op::kWrite, Kind::kInaccessible},
      {EISDIR, Op::kOpen, Kind::kInaccessible},
      {ENOMEM, Op::kMap, Kind::kOutOfMemory},
      {ENOMEM, Op::kOpen, Kind::kOutOfMemory},
      {EEXIST, Op::kOpen, Kind::kInUse},
      {ETXTBSY, Op::kOpen, Kind::kInUse},
      {EBUSY, Op::kOpen, Kind::kInUse},
      {EAGAIN, Op::kOpen, Kind::kInUse},
      {EDEADLK, Op::kWrite, Kind::kInUse},
      {ENOSPC, Op::kAllocate, Kind::kInsufficientSpace},
      {EDQUOT, Op::kWrite, Kind::kInsufficientSpace},
      {EFBIG, Op::kAllocate, Kind::kInsufficientSpace},
      {ENODEV, Op::kMap, Kind::kInvalidMap},
      {EOVERFLOW, Op::kMap, Kind::kInvalidMap},
      {ENODEV, Op::kOpen, Kind::kUnknown},
      {EIO, Op::kRead, Kind::kUnknown},
      {EBADF, Op::kRead, Kind::kUnknown},
      {EMFILE, Op::kOpen, Kind::kUnknown},
      {0, Op::kOpen, Kind::kUnknown},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClassifyFileError(c.error, c.operation), c.kind) << "errno " << c.error;
  }
}

TEST(FileErrorTest, ThrowsTheKindsException) {
  EXPECT_THROW(ThrowFileException(ENOENT, Op::kOpen), FileBadPathException);
  EXPECT_THROW(ThrowFileException(EACCES, Op::kOpen), FileInaccessibleException);
  EXPECT_THROW(ThrowFileException(ENOMEM, Op::kOpen), std::bad_alloc);
  EXPECT_THROW(ThrowFileException(EEXIST, Op::kOpen), FileInUseException);
  EXPECT_THROW(ThrowFileException(ENOSPC, Op::kOpen), FileInsufficientSpaceException);
  EXPECT_THROW(ThrowFileException(ENODEV, Op::kMap), FileInvalidMapException);
  EXPECT_THROW(ThrowFileException(EIO, Op::kOpen), FileUnknownException);
}

}  // namespace
}  // namespace zarn
