// Faults of the process and its disk, with the transfer in a process of its own (the
// transfer tool): killed with SIGKILL mid-transfer and run again into the same folder; and
// a destination on a small tmpfs that fills up while the transfer runs.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "e2e/e2e_fixture.h"
#include "testing/child_process.h"

namespace zarn {
namespace e2e {
namespace {

// The exit code of a wait status: the code, 128 + the signal, or -1 while it still runs.
int ExitCode(const std::optional<int>& status) {
  if (!status) return -1;
  return WIFEXITED(*status) ? WEXITSTATUS(*status) : 128 + WTERMSIG(*status);
}

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
  // The tool, its output in the file `name` of the work folder.
  std::unique_ptr<ChildProcess> StartTool(const std::vector<std::string>& args,
                                          const std::string& name) {
    ChildProcess::Options options;
    options.output = OutputFile(name);
    return std::make_unique<ChildProcess>(args, options);
  }
  std::string Output(const std::string& name) { return ReadWholeFile(OutputFile(name)); }
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
    std::unique_ptr<ChildProcess> first = StartTool(ToolArgs(), "first.txt");
    const auto deadline = std::chrono::steady_clock::now() + kCaseTimeout;
    while (CheckFolder(package_, dest_.Path()).goodChunks < 4 && first->Running() &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(first->Running()) << "the first run ended before the kill:\n"
                                  << Output("first.txt");
    first->Kill();
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
  std::unique_ptr<ChildProcess> second = StartTool(ToolArgs(), "second.txt");
  EXPECT_EQ(ExitCode(second->Wait(kCaseTimeout)), 0) << Output("second.txt");
  EXPECT_EQ(fresh.RequestCount(), missing);
  const FolderCheck check = CheckFolder(package_, dest_.Path());
  EXPECT_TRUE(check.exact) << check.firstProblem;
  const std::vector<unsigned long long> end = EndLine(Output("second.txt"));
  ASSERT_EQ(end.size(), 6u) << Output("second.txt");
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
  std::unique_ptr<ChildProcess> tool = StartTool(args, "tool.txt");
  const int code = ExitCode(tool->Wait(kCaseTimeout));
  const std::string output = Output("tool.txt");
  if (code == 99 || (code == 1 && output.find("end ") == std::string::npos)) {
    GTEST_SKIP() << "no private tmpfs here: " << output;
  }
  EXPECT_EQ(code, 1) << output;
  const std::vector<unsigned long long> end = EndLine(output);
  ASSERT_EQ(end.size(), 6u) << output;
  EXPECT_NE(end[0], ToNumber(TransferState::Completed));
  EXPECT_EQ(end[1], ToNumber(TransferError::DiskFull)) << output;
  EXPECT_LT(end[4], PackageSize());
  EXPECT_GE(end[4], package_.files.front().bytes.size()) << "the run file should fit";
}

}  // namespace
}  // namespace e2e
}  // namespace zarn
