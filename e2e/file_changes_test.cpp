// A file of the package changed by another process while the transfer writes it: deleted,
// another file renamed onto its path, grown, truncated. The change is made while the node
// holds back the file's last chunk, so the file is open and its other chunks are in. The
// transfer never reports such a file complete, a retry does not either, and a run into the
// same folder afterwards fetches exactly what is not there as the source has it.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>

#include "e2e/e2e_fixture.h"

namespace zarn {
namespace e2e {
namespace {

// Holds the first request that reaches it until Open, or until its deadline passes.
class Gate {
 public:
  void Hold() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (arrived_) return;
    arrived_ = true;
    changed_.notify_all();
    changed_.wait_for(lock, kCaseTimeout, [this] { return open_; });
  }
  bool WaitForArrival() {
    std::unique_lock<std::mutex> lock(mutex_);
    return changed_.wait_for(lock, kCaseTimeout, [this] { return arrived_; });
  }
  void Open() {
    std::lock_guard<std::mutex> lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool arrived_ = false;
  bool open_ = false;
};

enum class Change { Delete, RenameOver, GrowByOneByte, TruncateToHalf };

struct Case {
  const char* name;
  std::size_t file;  // in the package: 0 the run file, 1 the largest file
  Change change;
  TransferError error;            // None: any error
  std::optional<bool> retryable;  // none: either
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

// Does `change` to the file at path, of the given size, as another process would.
void ChangeFile(Change change, const std::string& path, std::size_t size) {
  switch (change) {
    case Change::Delete:
      if (::unlink(path.c_str()) != 0) throw std::runtime_error("unlink failed");
      return;
    case Change::RenameOver: {
      // Of the right size: only the file's identity tells it from the download.
      const std::string other = path + ".other";
      const std::string bytes = PatternBytes(size, 99);
      const int fd = ::open(other.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
      const bool written =
          fd >= 0 && ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(size);
      if (fd >= 0) ::close(fd);
      if (!written || ::rename(other.c_str(), path.c_str()) != 0) {
        throw std::runtime_error("rename over failed");
      }
      return;
    }
    case Change::GrowByOneByte: {
      const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
      const bool written = fd >= 0 && ::write(fd, "x", 1) == 1;
      if (fd >= 0) ::close(fd);
      if (!written) throw std::runtime_error("append failed");
      return;
    }
    case Change::TruncateToHalf:
      if (::truncate(path.c_str(), static_cast<off_t>(size / 2)) != 0) {
        throw std::runtime_error("truncate failed");
      }
      return;
  }
}

class FileChangesTest : public EndToEndTest, public ::testing::WithParamInterface<Case> {
 protected:
  void TearDown() override {
    gate_->Open();
    EndToEndTest::TearDown();
  }

  // A node that serves the package and holds back the first request for the last chunk
  // of `file` at the gate.
  void AddGatedNode(const PackageFileContent& file) {
    HttpTestServer& node = AddTestNode();
    const std::size_t last = (file.bytes.size() - 1) / package_.chunkSize * package_.chunkSize;
    const std::string range =
        "bytes=" + std::to_string(last) + "-" + std::to_string(file.bytes.size() - 1);
    node.Handle(PackageFilePath(package_, file.path),
                [gate = gate_, bytes = file.bytes, range](const HttpTestRequest& request) {
                  if (request.Header("Range") == range) gate->Hold();
                  HttpTestResponse response;
                  response.body = bytes;
                  return response;
                });
  }

  // The bytes a run into the destination must fetch: every file not of its size whole,
  // else every chunk that differs from the source.
  std::uint64_t BytesToFetch() const {
    std::uint64_t bytes = 0;
    for (const PackageFileContent& file : package_.files) {
      const std::string disk = ReadWholeFile(dest_.Path() + "/" + file.path);
      if (disk.size() != file.bytes.size()) {
        bytes += file.bytes.size();
        continue;
      }
      for (std::size_t at = 0; at < disk.size(); at += package_.chunkSize) {
        const std::size_t length = std::min<std::size_t>(package_.chunkSize, disk.size() - at);
        if (disk.compare(at, length, file.bytes, at, length) != 0) bytes += length;
      }
    }
    return bytes;
  }

  const std::shared_ptr<Gate> gate_ = std::make_shared<Gate>();
};

const Case kCases[] = {
    {"LargestDeleted", 1, Change::Delete, TransferError::FileAccess, true},
    {"LargestRenamedOver", 1, Change::RenameOver, TransferError::FileAccess, true},
    {"LargestGrownByOneByte", 1, Change::GrowByOneByte, TransferError::FileAccess, true},
    // The write of the held chunk already finds the file shorter than it was sized; how
    // that write's failure is classified is the file layer's business.
    {"LargestTruncatedToHalf", 1, Change::TruncateToHalf, TransferError::None, std::nullopt},
    {"RunFileRenamedOver", 0, Change::RenameOver, TransferError::FileAccess, true},
};

TEST_P(FileChangesTest, IsNeverCompletedAndARunAfterwardsRepairsIt) {
  const Case& c = GetParam();
  const PackageFileContent& target = package_.files.at(c.file);
  const std::string path = dest_.Path() + "/" + target.path;
  std::string nginx;
  try {
    nginx = AddNginxNode().Host();
  } catch (const std::runtime_error& e) {
    GTEST_SKIP() << e.what();
  }
  AddGatedNode(target);
  hosts_ = {servers_.back()->Host()};
  Publish();

  // Stopped with the row's error; the run file, wherever it is, not made runnable.
  auto expectRefused = [&](const TransferStatus& status) {
    EXPECT_TRUE(TestEngine::HasStopped(status)) << "no end in time: " << DescribeStatus(status);
    EXPECT_NE(status.state, TransferState::Completed) << DescribeStatus(status);
    if (c.error == TransferError::None) {
      EXPECT_NE(status.error, TransferError::None) << DescribeStatus(status);
    } else {
      EXPECT_EQ(status.error, c.error) << DescribeStatus(status);
    }
    if (c.retryable) {
      EXPECT_EQ(status.retryable != 0, *c.retryable) << DescribeStatus(status);
    }
    struct stat info {};
    if (::stat((dest_.Path() + "/" + package_.run).c_str(), &info) == 0) {
      EXPECT_EQ(info.st_mode & 0111, 0u) << "the run file is runnable";
    }
  };
  ASSERT_EQ(CreateAndStart().state, TransferState::Initialized);
  ASSERT_TRUE(gate_->WaitForArrival()) << "the last chunk was never asked for";
  ChangeFile(c.change, path, target.bytes.size());
  gate_->Open();
  const TransferStatus first =
      TestEngine::WaitFor(*transfer_, TestEngine::HasStopped, kCaseTimeout);
  {
    SCOPED_TRACE("first run");
    expectRefused(first);
  }
  if (first.error != TransferError::None && first.retryable) {
    SCOPED_TRACE("after a retry");
    expectRefused(RetryWhileRetryable(first, 1));
  }

  // The run afterwards, as the next start of the program: a new engine, with nginx.
  transfer_.reset();
  engine_.reset();
  const std::uint64_t missing = BytesToFetch();
  EXPECT_GE(missing, target.bytes.size()) << "the changed file is not fetched again whole";
  hosts_ = {nginx};
  Publish();
  const TransferStatus second = Run();
  ExpectComplete(second);
  EXPECT_EQ(second.downloadedBytes, missing) << DescribeStatus(second);
}

INSTANTIATE_TEST_SUITE_P(Table, FileChangesTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace e2e
}  // namespace zarn
