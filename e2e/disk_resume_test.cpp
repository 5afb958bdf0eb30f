// A package that is complete and verified on a disk file system, run again: every chunk is
// found in place, so the run makes no request and writes nothing to the package's files:
// not a page is dirtied, no modification time moves, and the process writes under 1 MiB
// to the disk in all (its own records included).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/magic.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>

#include "e2e/e2e_fixture.h"

namespace zarn {
namespace e2e {
namespace {

bool OnDisk(const std::string& path) {
  struct statfs info {};
  if (statfs(path.c_str(), &info) != 0) return false;
  return info.f_type != TMPFS_MAGIC && info.f_type != RAMFS_MAGIC;
}

// A folder on a disk file system: the given one, or a fresh one below the current folder
// (the build's, when CTest runs the test) when that one is in memory; none when neither is.
class DiskFolder {
 public:
  explicit DiskFolder(const std::string& preferred) {
    if (OnDisk(preferred)) {
      path_ = preferred;
      return;
    }
    std::string pattern = (std::filesystem::current_path() / "zarn-disk-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return;
    path_ = owned_ = pattern;
    if (!OnDisk(path_)) path_.clear();
  }
  ~DiskFolder() {
    std::error_code ignored;
    if (!owned_.empty()) std::filesystem::remove_all(owned_, ignored);
  }
  DiskFolder(const DiskFolder&) = delete;
  DiskFolder& operator=(const DiskFolder&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::string owned_;
};

// The bytes this process has caused to be written to storage so far, when the kernel
// counts them.
std::optional<uint64_t> WrittenBytes() {
  std::ifstream io("/proc/self/io");
  std::string key;
  uint64_t value;
  while (io >> key >> value) {
    if (key == "write_bytes:") return value;
  }
  return std::nullopt;
}

TEST_F(EndToEndTest, RunOverACompleteDownloadOnDiskWritesNothing) {
  const DiskFolder disk(dest_.Path());
  if (disk.path().empty()) GTEST_SKIP() << "no disk file system here, only memory";
  const HttpTestServer& node = AddTestNode();
  Publish();
  auto run = [&] {
    std::shared_ptr<Transfer> transfer =
        Engine().Create(package_.partnerId, package_.packageId, package_.versionId);
    return TestEngine::RunToEnd(*transfer, disk.path(), kCaseTimeout);
  };
  const TransferStatus first = run();
  ASSERT_EQ(first.state, TransferState::Completed) << DescribeStatus(first);
  const std::size_t requests = node.RequestCount();

  // A time in the past, so that any write of the second run would show.
  const struct timespec past[2] = {{1000000000, 0}, {1000000000, 0}};
  for (const PackageFileContent& file : package_.files) {
    ASSERT_EQ(utimensat(AT_FDCWD, (disk.path() + "/" + file.path).c_str(), past, 0), 0);
  }
  const std::optional<uint64_t> before = WrittenBytes();
  const TransferStatus second = run();
  const std::optional<uint64_t> after = WrittenBytes();

  EXPECT_EQ(second.state, TransferState::Completed) << DescribeStatus(second);
  EXPECT_EQ(second.verifiedBytes, PackageSize());
  EXPECT_EQ(second.downloadedBytes, 0u);
  EXPECT_EQ(node.RequestCount(), requests);
  const FolderCheck check = CheckFolder(package_, disk.path());
  EXPECT_TRUE(check.exact) << check.firstProblem;
  for (const PackageFileContent& file : package_.files) {
    struct stat status {};
    ASSERT_EQ(stat((disk.path() + "/" + file.path).c_str(), &status), 0);
    EXPECT_EQ(status.st_mtim.tv_sec, past[0].tv_sec) << file.path << " was written";
    EXPECT_EQ(status.st_mtim.tv_nsec, 0) << file.path << " was written";
  }
  if (before && after) {
    EXPECT_LT(*after - *before, 1u << 20);
  }
}

}  // namespace
}  // namespace e2e
}  // namespace zarn
