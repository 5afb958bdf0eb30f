#include "testing/child_process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "storage/testing/test_folder.h"

namespace zarn {
namespace {

using std::chrono::seconds;

TEST(ChildProcessTest, RunsAProgramFromPathWithItsOutputInAFile) {
  TestFolder folder;
  ChildProcess::Options options;
  options.output = folder / "out";
  ChildProcess child({"sh", "-c", "echo out; echo err >&2; exit 3"}, options);
  const std::optional<int> status = child.Wait(seconds(30));
  ASSERT_TRUE(status);
  EXPECT_TRUE(WIFEXITED(*status));
  EXPECT_EQ(WEXITSTATUS(*status), 3);
  EXPECT_FALSE(child.Running());
  EXPECT_EQ(folder.ReadFile("out"), "out\nerr\n");
}

TEST(ChildProcessTest, StopEndsTheProcessAndItsChildren) {
  TestFolder folder;
  // The shell leaves a grandchild behind that writes its pid, then waits for it.
  ChildProcess child({"sh", "-c", "sleep 300 & echo $! > " + (folder / "pid") + "; wait"});
  pid_t grandchild = 0;
  for (int i = 0; i < 3000 && grandchild == 0; ++i) {
    std::ifstream(folder / "pid") >> grandchild;
    if (grandchild == 0) usleep(1000);
  }
  ASSERT_GT(grandchild, 0);
  EXPECT_TRUE(child.Running());
  child.Stop();
  EXPECT_FALSE(child.Running());
  ASSERT_TRUE(child.ExitStatus());
  EXPECT_TRUE(WIFSIGNALED(*child.ExitStatus()));
  // The grandchild got the signal too (it may linger as a zombie of init for a moment).
  bool gone = false;
  for (int i = 0; i < 3000 && !gone; ++i) {
    std::ifstream stat("/proc/" + std::to_string(grandchild) + "/stat");
    std::string pid, name, state;
    gone = !(stat >> pid >> name >> state) || state == "Z";
    if (!gone) usleep(1000);
  }
  EXPECT_TRUE(gone);
  child.Stop();  // a second stop does nothing
}

TEST(ChildProcessTest, WaitIsBoundedAndKillEndsAProgramThatIgnoresTerm) {
  ChildProcess child({"sh", "-c", "trap '' TERM; sleep 300"});
  EXPECT_FALSE(child.Wait(std::chrono::milliseconds(50)));
  child.Kill();
  ASSERT_TRUE(child.ExitStatus());
  EXPECT_EQ(WTERMSIG(*child.ExitStatus()), SIGKILL);
}

TEST(ChildProcessTest, KeepsOnlyTheDescriptorItIsGiven) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  ChildProcess::Options options;
  options.keepFd = fds[1];
  ChildProcess child({"sh", "-c", "echo kept >&" + std::to_string(fds[1])}, options);
  ::close(fds[1]);
  std::string read;
  char c;
  while (::read(fds[0], &c, 1) == 1) read += c;  // ends when the child's copy closes
  ::close(fds[0]);
  EXPECT_EQ(read, "kept\n");
  ASSERT_TRUE(child.Wait(seconds(30)));
  EXPECT_EQ(WEXITSTATUS(*child.ExitStatus()), 0);
}

TEST(ChildProcessTest, AMissingProgramThrows) {
  EXPECT_FALSE(ProgramAvailable("zarn-no-such-program"));
  EXPECT_TRUE(ProgramAvailable("sh"));
  EXPECT_THROW(ChildProcess({"zarn-no-such-program"}), std::runtime_error);
  EXPECT_THROW(ChildProcess({"/nonexistent/program"}), std::runtime_error);
}

}  // namespace
}  // namespace zarn
