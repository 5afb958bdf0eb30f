#include "updater/posix_process.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <thread>

#include "storage/testing/test_folder.h"
#include "updater/testing/no_room_for_threads.h"

namespace zarn {
namespace {

using namespace std::chrono_literals;

// A script that writes its arguments (one per line), its folder and its pid.
constexpr char kRecorder[] =
    "#!/bin/sh\n"
    "out=\"$(dirname \"$0\")/out\"\n"
    "mkdir -p \"$out\"\n"
    "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$out/args.tmp\"\n"
    "pwd > \"$out/cwd\"\n"
    "ls /proc/self/fd > \"$out/fds\"\n"
    "echo $$ > \"$out/pid\"\n"
    "mv \"$out/args.tmp\" \"$out/args\"\n";

class PosixProcessTest : public testing::Test {
 protected:
  std::string WriteScript(const std::string& name, const std::string& body, bool executable) {
    std::filesystem::create_directories(folder_ / "bin");
    const std::string path = folder_ / ("bin/" + name);
    std::ofstream(path) << body;
    chmod(path.c_str(), executable ? 0700 : 0600);
    return path;
  }
  bool WaitForFile(const std::string& path) {
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (!std::filesystem::exists(path)) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(10ms);
    }
    return true;
  }
  TestFolder folder_;
};

TEST_F(PosixProcessTest, StartsWithTheSplitArgumentsInTheFilesFolder) {
  const std::string script = WriteScript("Downloader.exe", kRecorder, true);
  PosixProcess process(script, 0);
  ASSERT_TRUE(
      process.Launch(true, " /package \"p q\" /version \"1\\\" /x\" /folder \"C:\\\\\"", ""));
  EXPECT_EQ(folder_.ReadFile("bin/out/args"), "/package\np q\n/version\n1\" /x\n/folder\nC:\\\n");
  EXPECT_EQ(folder_.ReadFile("bin/out/cwd"), folder_.path() + "/bin\n");
  // Only standard input, output and error (plus the one `ls` opens for itself).
  std::ifstream fds(folder_ / "bin/out/fds");
  int count = 0;
  for (std::string line; std::getline(fds, line);) ++count;
  EXPECT_LE(count, 4);

  std::filesystem::create_directories(folder_ / "elsewhere");
  ASSERT_TRUE(process.Launch(true, "", folder_ / "elsewhere"));
  EXPECT_EQ(folder_.ReadFile("bin/out/cwd"), folder_.path() + "/elsewhere\n");
  EXPECT_EQ(folder_.ReadFile("bin/out/args"), "");
}

TEST_F(PosixProcessTest, FailsForWhatCannotStart) {
  const std::string not_executable = WriteScript("plain.sh", kRecorder, false);
  const std::string garbage = WriteScript("garbage", "\x01\x02 not a program", true);
  for (const std::string& path :
       {not_executable, garbage, folder_ / "missing", folder_ / "bin", std::string()}) {
    EXPECT_FALSE(PosixProcess(path, 0).Launch(true, "", "")) << path;
  }
  const std::string script = WriteScript("ok", kRecorder, true);
  EXPECT_FALSE(PosixProcess(script, 0).Launch(true, "", folder_ / "no-such-folder"));
}

TEST_F(PosixProcessTest, WithoutWaitingReturnsAtOnceAndLeavesNoZombie) {
  const std::string script = WriteScript(
      "slow", std::string(kRecorder) + "while [ ! -e \"$out/go\" ]; do sleep 0.01; done\n", true);
  ASSERT_TRUE(PosixProcess(script, 0).Launch(false, "a", ""));
  ASSERT_TRUE(WaitForFile(folder_ / "bin/out/args"));  // it runs while we go on
  const std::string pid = folder_.ReadFile("bin/out/pid");
  const std::string proc = "/proc/" + pid.substr(0, pid.find('\n'));
  folder_.WriteFile("bin/out/go", "");
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (std::filesystem::exists(proc) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_FALSE(std::filesystem::exists(proc)) << "exited child not reaped";
}

// The child was started, so the launch succeeded, even when no thread can be started to
// reap it. Run in a forked child, whose exit code names the first check that failed.
TEST_F(PosixProcessTest, WithoutWaitingSucceedsWhenNoThreadCanReapTheChild) {
  const std::string script = WriteScript("Downloader.exe", kRecorder, true);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    alarm(60);  // the child's deadline: SIGALRM ends it
    LeaveNoRoomForAThread();
    int code = 0;
    try {
      std::thread([] {}).join();
      code = 11;  // a thread started: the test would show nothing
    } catch (const std::system_error&) {
      code = PosixProcess(script, 0).Launch(false, "a", "") ? 0 : 12;
    }
    _exit(code);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  ASSERT_EQ(WEXITSTATUS(status), 0);
  ASSERT_TRUE(WaitForFile(folder_ / "bin/out/args")) << "the program did not run";
  EXPECT_EQ(folder_.ReadFile("bin/out/args"), "a\n");
}

}  // namespace
}  // namespace zarn
