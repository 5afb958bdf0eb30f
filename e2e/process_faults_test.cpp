// Faults of the process and its disk, with the transfer in a process of its own (the
// transfer tool): killed with SIGKILL mid-transfer and run again into the same folder; and
// a destination on a small tmpfs that fills up while the transfer runs.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/e2e_fixture.h"

extern char** environ;

namespace zarn {
namespace e2e {
namespace {

// A child process with its output in a file; killed and reaped on destruction.
class Child {
 public:
  Child(const std::vector<std::string>& args, const std::string& output) : output_(output) {
    std::vector<char*> argv;
    std::vector<std::string> copy = args;
    for (std::string& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Child() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  bool Started() const { return pid_ > 0; }
  bool Running() {
    if (pid_ <= 0) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) != pid_) return true;
    exit_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    pid_ = -1;
    return false;
  }
  void Kill() {
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    exit_ = 128 + SIGKILL;
    pid_ = -1;
  }
  // The exit code, after a bounded wait (-1 when it is still running).
  int Wait(std::chrono::seconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (Running() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return pid_ > 0 ? -1 : exit_;
  }
  std::string Output() const { return ReadWholeFile(output_); }

 private:
  std::string output_;
  pid_t pid_ = -1;
  int exit_ = -1;
};

// The "end <state> <error> ..." line of the tool's output, as numbers.
std::vector<unsigned long long> EndLine(const std::string& output) {
  std::vector<unsigned long long> numbers;
  const std::size_t at = output.rfind("end ");
  if (at == std::string::npos) return numbers;
  std::istringstream in(output.substr(at + 4));
  unsigned long long n;
  while (numbers.size() < 6 && in >> n) numbers.push_back(n);
  return numbers;
}

class ProcessFaultsTest : public EndToEndTest {
 protected:
  std::vector<std::string> ToolArgs() {
    return {E2E_TRANSFER_TOOL,  manifests_.Host(),  work_.RelativeToTemp(), package_.partnerId,
            package_.packageId, package_.versionId, dest_.Path(),           "120"};
  }
  std::string OutputFile(const std::string& name) { return work_.Path() + "/" + name; }
};

// Killed with SIGKILL once a few chunks are on disk, then run again as a new transfer into
// the same folder: only the chunks that are not on disk as the source has them are fetched,
// each once, and the result is byte-exact.
TEST_F(ProcessFaultsTest, KilledMidTransferAndRunAgainFetchesOnlyWhatIsMissing) {
  HttpTestResponse slow;
  slow.bytesPerSecond = 64 * 1024;  // per connection: the run takes seconds
  AddTestNode(slow);
  Publish();
  const std::size_t chunks = CheckFolder(package_, dest_.Path()).chunks;
  {
    Child first(ToolArgs(), OutputFile("first.txt"));
    ASSERT_TRUE(first.Started());
    const auto deadline = std::chrono::steady_clock::now() + kCaseTimeout;
    while (CheckFolder(package_, dest_.Path()).goodChunks < 4 && first.Running() &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(first.Running()) << "the first run ended before the kill:\n" << first.Output();
    first.Kill();
  }
  const std::size_t missing = CountMissingChunks(package_, dest_.Path());
  ASSERT_GT(missing, 0u) << "the kill came too late to show anything";
  ASSERT_LT(missing, chunks);

  // The second run has a fast node of its own, so that its requests are counted apart.
  HttpTestServer fresh;
  for (const PackageFileContent& file : package_.files) {
    fresh.ServeFile(PackageFilePath(package_, file.path), file.bytes);
  }
  manifests_.ServeFile(NodeListPath(package_.partnerId), MakeNodeListXml({fresh.Host()}));
  Child second(ToolArgs(), OutputFile("second.txt"));
  ASSERT_TRUE(second.Started());
  EXPECT_EQ(second.Wait(kCaseTimeout), 0) << second.Output();
  EXPECT_EQ(fresh.RequestCount(), missing);
  const FolderCheck check = CheckFolder(package_, dest_.Path());
  EXPECT_TRUE(check.exact) << check.firstProblem;
  const std::vector<unsigned long long> end = EndLine(second.Output());
  ASSERT_EQ(end.size(), 6u) << second.Output();
  EXPECT_EQ(end[4], PackageSize());  // verified
}

// The destination is a tmpfs too small for the package (in a mount namespace of the tool's
// own): the run file fits, a later file does not. The transfer stops with DiskFull and
// never reports completion.
TEST_F(ProcessFaultsTest, DiskFillingUpStopsWithDiskFull) {
  if (::geteuid() != 0 || ::access("/usr/bin/unshare", X_OK) != 0) {
    GTEST_SKIP() << "needs root and unshare for a private tmpfs";
  }
  AddTestNode();
  Publish();
  std::vector<std::string> args = {"/usr/bin/unshare",
                                   "--mount",
                                   "--propagation",
                                   "private",
                                   "/bin/sh",
                                   "-c",
                                   "mount -t tmpfs -o size=700k tmpfs \"$0\" || exit 99; "
                                   "exec \"$@\"",
                                   dest_.Path()};
  for (const std::string& a : ToolArgs()) args.push_back(a);
  Child tool(args, OutputFile("tool.txt"));
  ASSERT_TRUE(tool.Started());
  const int code = tool.Wait(kCaseTimeout);
  if (code == 99 || (code == 1 && tool.Output().find("end ") == std::string::npos)) {
    GTEST_SKIP() << "no private tmpfs here: " << tool.Output();
  }
  EXPECT_EQ(code, 1) << tool.Output();
  const std::vector<unsigned long long> end = EndLine(tool.Output());
  ASSERT_EQ(end.size(), 6u) << tool.Output();
  EXPECT_NE(end[0], ToNumber(TransferState::Completed));
  EXPECT_EQ(end[1], ToNumber(TransferError::DiskFull)) << tool.Output();
  EXPECT_LT(end[4], PackageSize());
  EXPECT_GE(end[4], package_.files.front().bytes.size()) << "the run file should fit";
}

}  // namespace
}  // namespace e2e
}  // namespace zarn
