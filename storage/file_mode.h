#ifndef ZARN_STORAGE_FILE_MODE_H_
#define ZARN_STORAGE_FILE_MODE_H_

#include <sys/stat.h>

namespace zarn {

// The mode of every file and folder the program creates, and of every mode it sets on a
// file: `mode` without write permission for group and others. The umask can only take
// bits away, so whatever umask the program was started with (000 included), no other
// local user can rewrite what it downloads, verifies and then starts.
constexpr mode_t OwnerWritableMode(mode_t mode) {
  return mode & ~static_cast<mode_t>(S_IWGRP | S_IWOTH);
}

}  // namespace zarn

#endif  // ZARN_STORAGE_FILE_MODE_H_
