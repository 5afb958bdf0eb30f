#include "updater/standard_streams.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <initializer_list>

namespace zarn {

bool OpenClosedStandardStreams() {
  for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    if (fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    // open answers the lowest free number, which is this one: the lower ones are open.
    const int opened = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (opened != fd) {
      if (opened >= 0) close(opened);
      return false;
    }
    // The launched downloader inherits standard streams; keep this one across exec.
    if (fcntl(fd, F_SETFD, 0) == -1) return false;
  }
  return true;
}

}  // namespace zarn
