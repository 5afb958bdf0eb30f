#include "updater/standard_streams.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace zarn {
namespace {

bool IsDevNull(int fd) {
  struct stat stream {
  }, null{};
  return fstat(fd, &stream) == 0 && stat("/dev/null", &null) == 0 && S_ISCHR(stream.st_mode) &&
         stream.st_rdev == null.st_rdev;
}

// In a child started with standard input and error closed and output on a pipe: the closed
// ones become /dev/null and stay open across exec, the pipe stays, and a file opened next
// gets a number above them. The child's exit code names the first check that failed.
TEST(StandardStreamsTest, ClosedStreamsBecomeDevNullSoNoFileTakesTheirNumbers) {
  int pipeEnds[2];
  ASSERT_EQ(pipe(pipeEnds), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    alarm(60);  // the child's deadline: SIGALRM ends it
    close(pipeEnds[0]);
    if (dup2(pipeEnds[1], STDOUT_FILENO) != STDOUT_FILENO) _exit(10);
    close(pipeEnds[1]);
    close(STDIN_FILENO);
    close(STDERR_FILENO);
    if (!OpenClosedStandardStreams()) _exit(11);
    if (!IsDevNull(STDIN_FILENO) || !IsDevNull(STDERR_FILENO)) _exit(12);
    if (fcntl(STDERR_FILENO, F_GETFD) != 0) _exit(13);  // inherited by a launched program
    const int file = open("/proc/self/exe", O_RDONLY);
    if (file <= STDERR_FILENO) _exit(14);
    if (write(STDOUT_FILENO, "still the pipe", 14) != 14) _exit(15);
    _exit(0);
  }
  close(pipeEnds[1]);
  char buffer[32] = {};
  const ssize_t got = read(pipeEnds[0], buffer, sizeof buffer - 1);
  close(pipeEnds[0]);
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(std::string(buffer, got > 0 ? got : 0), "still the pipe");
}

// Whatever the program writes to a reopened stream must go somewhere: a write that fails
// there (EBADF on a stream opened for reading only) is never seen. In a child started with
// all three closed; its exit code names the first check that failed.
TEST(StandardStreamsTest, ReopenedStreamsCanBeWrittenAndRead) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    alarm(60);  // the child's deadline: SIGALRM ends it
    close(STDIN_FILENO);
    close(STDOUT_FILENO);
    close(STDERR_FILENO);
    if (!OpenClosedStandardStreams()) _exit(10);
    if (write(STDOUT_FILENO, "out", 3) != 3) _exit(11);
    if (write(STDERR_FILENO, "err", 3) != 3) _exit(12);
    char c;
    if (read(STDIN_FILENO, &c, 1) != 0) _exit(13);  // at its end at once
    _exit(0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace zarn
