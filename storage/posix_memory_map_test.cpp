#include "storage/posix_memory_map.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "storage/file_exception.h"
#include "storage/testing/test_folder.h"

namespace zarn {
namespace {

const uint64_t kPage = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));

std::string Pattern(std::size_t size) {
  std::string data(size, '\0');
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>(i * 7 + i / 251 + 1);
  return data;
}

// Stands in for pwrite while it lives: call k writes for real at most answers[k] bytes of
// what it is asked, and answers how many it wrote (0 included); calls past the script fail
// with ENOSPC, so that a writer that asks again after a 0 still ends.
class ScriptedWrites {
 public:
  explicit ScriptedWrites(std::vector<ssize_t> answers)
      : previous_(SetPositionalWriteFunction(&Write)) {
    answers_ = std::move(answers);
    calls_ = 0;
  }
  ~ScriptedWrites() { SetPositionalWriteFunction(previous_); }
  static std::size_t calls() { return calls_; }

 private:
  static ssize_t Write(int fd, const void* data, std::size_t n, off_t offset) {
    const std::size_t call = calls_++;
    if (call >= answers_.size()) {
      errno = ENOSPC;
      return -1;
    }
    if (answers_[call] == 0) return 0;
    return pwrite(fd, data, std::min<std::size_t>(n, answers_[call]), offset);
  }
  static inline std::vector<ssize_t> answers_;
  static inline std::size_t calls_ = 0;
  PositionalWriteFunction previous_;
};

class PosixMemoryMapTest : public testing::Test {
 protected:
  // A map of a file of `size` zeros that was sized here.
  std::unique_ptr<PosixMemoryMap> SizedMap(uint64_t size) {
    const int fd = open((folder_ / "f").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(ftruncate(fd, static_cast<off_t>(size)), 0);
    auto map = std::make_unique<PosixMemoryMap>(fd, size, /*zeros=*/true);
    close(fd);
    return map;
  }

  TestFolder folder_;
};

// A write that the system answers with 0 bytes taken is a failure, not a reason to ask
// again forever; whatever reached the file before no longer passes for zeros.
TEST_F(PosixMemoryMapTest, AWriteThatTakesNoBytesFails) {
  const struct {
    std::vector<ssize_t> answers;
    std::size_t written;  // bytes that reach the file
  } cases[] = {{{0}, 0}, {{100, 0}, 100}};
  const std::string data = Pattern(1000);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.written);
    const auto map = SizedMap(4 * kPage);
    ScriptedWrites writes(c.answers);
    EXPECT_THROW(map->WriteAt(reinterpret_cast<const uint8_t*>(data.data()), data.size(), kPage),
                 FileUnknownException);
    EXPECT_EQ(ScriptedWrites::calls(), c.answers.size());
    EXPECT_EQ(folder_.ReadFile("f").substr(kPage, c.written), data.substr(0, c.written));
    EXPECT_FALSE(map->KnownZero(kPage, kPage + data.size() - 1));
    EXPECT_TRUE(map->KnownZero(0, kPage - 1)) << "only the range written is forgotten";
  }
}

// A write that the file size limit cuts short: the kernel takes the bytes below the limit,
// then refuses the rest. The range is no longer taken for zeros: the first bytes are in.
TEST_F(PosixMemoryMapTest, AWriteThatFailsPartWayForgetsTheRangesZeros) {
  const auto map = SizedMap(4 * kPage);
  const std::string data = Pattern(2 * kPage);
  struct rlimit old {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
  struct rlimit limited = old;
  limited.rlim_cur = 2 * kPage;
  void (*oldHandler)(int) = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  bool insufficientSpace = false;
  try {
    map->WriteAt(reinterpret_cast<const uint8_t*>(data.data()), data.size(), kPage);
  } catch (const FileInsufficientSpaceException&) {
    insufficientSpace = true;
  }
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &old), 0);
  signal(SIGXFSZ, oldHandler);

  EXPECT_TRUE(insufficientSpace);
  EXPECT_EQ(folder_.ReadFile("f").substr(kPage, kPage), data.substr(0, kPage));
  EXPECT_FALSE(map->KnownZero(kPage, 3 * kPage - 1));
  EXPECT_FALSE(map->KnownZero(2 * kPage, 3 * kPage - 1));
  EXPECT_TRUE(map->KnownZero(3 * kPage, 4 * kPage - 1));
}

}  // namespace
}  // namespace zarn
