#include "storage/posix_shared_file.h"

#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <filesystem>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "storage/file_exception.h"
#include "storage/memory_mapped_file_data.h"
#include "storage/posix_shared_file_factory.h"
#include "storage/testing/test_folder.h"

namespace zarn {
namespace {

namespace fs = std::filesystem;
using Mode = SharedFileOpenMode;
constexpr uint64_t kUnbounded = UINT64_MAX;

std::string Pattern(std::size_t size, unsigned seed = 1) {
  std::string data(size, '\0');
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>(i * 7 + seed);
  return data;
}

class PosixSharedFileTest : public testing::Test {
 protected:
  std::shared_ptr<SharedFile> Open(const std::string& name, uint64_t lower = 0,
                                   uint64_t upper = kUnbounded, Mode mode = Mode::OpenAlways) {
    return factory_.Create(folder_.path(), name, mode, lower, upper);
  }

  PosixSharedFileFactory factory_;
  TestFolder folder_;
};

// One table for files and views: both are BoundedFileData over [100, 199].
TEST_F(PosixSharedFileTest, RangeChecksOfFilesAndViews) {
  enum Op { kSeek, kRead, kWrite };
  struct Case {
    const char* name;
    uint64_t start;  // the cursor before the operation
    Op op;
    uint64_t argument;               // the position for kSeek, else the byte count
    std::optional<uint64_t> result;  // nullopt: FileOutOfBoundsException
    uint64_t tell_after;
  } cases[] = {
      {"seek below lower", 100, kSeek, 99, std::nullopt, 100},
      {"seek past upper", 100, kSeek, 200, std::nullopt, 100},
      {"seek to lower", 150, kSeek, 100, 0, 100},
      {"seek to upper", 100, kSeek, 199, 0, 199},
      {"write the whole range", 100, kWrite, 100, 100, 200},
      {"write one byte too many", 100, kWrite, 101, std::nullopt, 100},
      {"write the last byte", 199, kWrite, 1, 1, 200},
      {"write two at the last byte", 199, kWrite, 2, std::nullopt, 199},
      {"read to upper", 150, kRead, 50, 50, 200},
      {"read past upper", 150, kRead, 51, std::nullopt, 150},
      {"read more than fits, never shortened", 100, kRead, 10000, std::nullopt, 100},
      {"read nothing", 199, kRead, 0, 0, 199},
      {"write nothing", 199, kWrite, 0, 0, 199},
  };
  folder_.WriteFile("f", Pattern(300));
  const auto file = Open("f", 100, 199);
  const auto view = file->Map();
  for (BoundedFileData* data :
       {static_cast<BoundedFileData*>(file.get()), static_cast<BoundedFileData*>(view.get())}) {
    const char* kind = data == file.get() ? "file: " : "view: ";
    for (const Case& c : cases) {
      char buffer[10000] = {};
      data->Seek(c.start);
      auto run = [&]() -> uint64_t {
        switch (c.op) {
          case kSeek:
            data->Seek(c.argument);
            return 0;
          case kRead:
            return data->Read(buffer, static_cast<uint32_t>(c.argument));
          case kWrite:
            return data->Write(buffer, static_cast<uint32_t>(c.argument));
        }
        return 0;
      };
      if (c.result) {
        EXPECT_EQ(run(), *c.result) << kind << c.name;
      } else {
        EXPECT_THROW(run(), FileOutOfBoundsException) << kind << c.name;
      }
      EXPECT_EQ(data->Tell(), c.tell_after) << kind << c.name;
    }
  }
  EXPECT_THROW(file->Map(99, 150), FileOutOfBoundsException);
  EXPECT_THROW(file->Map(150, 200), FileOutOfBoundsException);
  EXPECT_THROW(file->Map(150, 149), FileOutOfBoundsException);
}

TEST_F(PosixSharedFileTest, RangeLengthFitsIn32Bits) {
  const auto file = Open("f");
  struct Case {
    uint64_t a, b;
    std::optional<uint32_t> length;  // nullopt: std::bad_alloc
  } cases[] = {
      {0, 0, 1u},
      {0, 0xFFFFFFFEu, 0xFFFFFFFFu},
      {0, 0xFFFFFFFFu, std::nullopt},
      {0, kUnbounded, std::nullopt},  // must not wrap to 0
      {kUnbounded, kUnbounded, 1u},
  };
  for (const Case& c : cases) {
    if (c.length) {
      EXPECT_EQ(file->RangeLength(c.a, c.b), *c.length) << c.a << ".." << c.b;
    } else {
      EXPECT_THROW(file->RangeLength(c.a, c.b), std::bad_alloc) << c.a << ".." << c.b;
    }
  }
  EXPECT_THROW(file->RangeLength(5, 4), FileOutOfBoundsException);
  EXPECT_THROW(file->Map(0, 0xFFFFFFFFu), std::bad_alloc);
}

TEST_F(PosixSharedFileTest, ReadsAndWritesAtTheCursor) {
  const std::string data = Pattern(10000);
  const auto file = Open("f");
  EXPECT_EQ(file->Write(data.data(), 10000), 10000u);  // no 4096-byte cap on writes
  EXPECT_EQ(file->Size(), 10000u);
  file->Seek(0);
  std::string back(10000, '\0');
  EXPECT_EQ(file->Read(&back[0], 10000), 4096u);
  EXPECT_EQ(file->Read(&back[4096], 10000), 4096u);
  EXPECT_EQ(file->Read(&back[8192], 10000), 1808u);  // the end of the file
  EXPECT_EQ(file->Read(&back[0], 10), 0u);
  file->Seek(4096);
  back.resize(10000);
  EXPECT_EQ(file->Read(&back[0], 4096), 4096u);
  EXPECT_EQ(back.substr(0, 4096), data.substr(4096, 4096));
  // Positions that off_t cannot hold are refused by the system, not by the bounds.
  EXPECT_THROW(file->Seek(1ull << 63), FileUnknownException);
}

// Answers the file's write calls while it lives, in order: call k writes at most answers[k]
// bytes for real and answers how many (0 included); calls past the script fail with ENOSPC,
// so that a writer that asks again after a 0 still ends.
class ScriptedFileWrites {
 public:
  explicit ScriptedFileWrites(std::vector<ssize_t> answers) {
    answers_ = std::move(answers);
    calls_ = 0;
    previous_ = SetFileWriteFunction(&Write);
  }
  ~ScriptedFileWrites() { SetFileWriteFunction(previous_); }
  static std::size_t calls() { return calls_; }

 private:
  static ssize_t Write(int fd, const void* data, std::size_t n) {
    const std::size_t call = calls_++;
    if (call >= answers_.size()) {
      errno = ENOSPC;
      return -1;
    }
    return write(fd, data, std::min<std::size_t>(n, answers_[call]));
  }
  static inline std::vector<ssize_t> answers_;
  static inline std::size_t calls_ = 0;
  FileWriteFunction previous_;
};

// A write that the system answers with no byte taken and no error fails at once: asking
// again would only get the same answer, forever.
TEST_F(PosixSharedFileTest, AWriteThatTakesNoBytesFails) {
  const struct {
    std::vector<ssize_t> answers;
    std::size_t written;  // bytes that reach the file
  } cases[] = {{{0}, 0}, {{100, 0}, 100}};
  const std::string data = Pattern(1000);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.written);
    const std::string name = "f" + std::to_string(c.written);
    const auto file = Open(name);
    {
      ScriptedFileWrites writes(c.answers);
      EXPECT_THROW(file->Write(data.data(), 1000), FileUnknownException);
      EXPECT_EQ(ScriptedFileWrites::calls(), c.answers.size());
    }
    EXPECT_EQ(folder_.ReadFile(name), data.substr(0, c.written));
  }
}

TEST_F(PosixSharedFileTest, Allocate) {
  folder_.WriteFile("full", "abc");
  EXPECT_FALSE(Open("full", 0, 999)->Allocate(1000));
  EXPECT_EQ(folder_.ReadFile("full"), "abc");

  EXPECT_TRUE(Open("zero", 0, 999)->Allocate(0));
  EXPECT_EQ(fs::file_size(folder_ / "zero"), 0u);

  EXPECT_THROW(Open("short", 0, 499)->Allocate(1000), FileOutOfBoundsException);
  EXPECT_THROW(Open("offset", 10, 999)->Allocate(1000), FileOutOfBoundsException);
  EXPECT_EQ(fs::file_size(folder_ / "short"), 0u);

  const auto file = Open("sized", 0, 999);
  file->Seek(500);
  EXPECT_TRUE(file->Allocate(1000));
  EXPECT_EQ(file->Size(), 1000u);
  EXPECT_EQ(file->Tell(), 0u);
  struct stat status {};
  ASSERT_EQ(stat((folder_ / "sized").c_str(), &status), 0);
  EXPECT_GE(status.st_blocks * 512, 1000) << "the blocks must be reserved, not a hole";
}

// In a child process: opens folder/big, limits the file size to 64 KiB and allocates
// 1 MiB. Exits 0 when that raised FileInsufficientSpaceException and left the file empty.
void AllocateUnderFileSizeLimit(const std::string& folder) {
  PosixSharedFileFactory factory;
  const auto file = factory.Create(folder, "big", Mode::OpenAlways, 0, (1 << 20) - 1);
  const rlimit limit{64 * 1024, 64 * 1024};
  setrlimit(RLIMIT_FSIZE, &limit);
  int code = 1;
  try {
    file->Allocate(1 << 20);
  } catch (const FileInsufficientSpaceException&) {
    code = file->Size() == 0 ? 0 : 2;
  } catch (...) {
    code = 3;
  }
  _exit(code);
}

// A full disk must fail in Allocate, not later as a fault inside a view of a sparse file.
// The file-size limit stands in for the full disk: the system refuses with EFBIG.
TEST_F(PosixSharedFileTest, AllocateOnAFullDiskFailsAndLeavesTheFileEmpty) {
  EXPECT_EXIT(AllocateUnderFileSizeLimit(folder_.path()), testing::ExitedWithCode(0), "");
  EXPECT_EQ(fs::file_size(folder_ / "big"), 0u);
}

TEST_F(PosixSharedFileTest, MapStaysWithinTheFileAsItWasAtTheFirstMap) {
  folder_.WriteFile("f", Pattern(1000));
  const auto unbounded = Open("f");
  EXPECT_EQ(unbounded->Map(0, 999)->Tell(), 0u);
  EXPECT_THROW(unbounded->Map(0, 1000), FileInvalidMapException);
  EXPECT_THROW(Open("f", 0, 999)->Map(0, 1000), FileOutOfBoundsException);  // bounds first

  // The file grows after the first Map: the mapping does not.
  unbounded->Seek(1000);
  unbounded->Write(Pattern(1000).data(), 1000);
  EXPECT_THROW(unbounded->Map(1000, 1999), FileInvalidMapException);
  EXPECT_NO_THROW(unbounded->Map(500, 999));
  // A file opened afresh maps its new size.
  EXPECT_NO_THROW(Open("f")->Map(1000, 1999));

  EXPECT_THROW(Open("empty")->Map(0, 0), FileInvalidMapException);
}

TEST_F(PosixSharedFileTest, ViewsWriteThroughToTheFileAndOutliveIt) {
  auto file = Open("f", 0, 9999);
  ASSERT_TRUE(file->Allocate(10000));
  const std::string data = Pattern(3000, 3);
  const auto view = file->Map(5000, 7999);
  file.reset();  // the view holds no reference to the file and stays valid
  EXPECT_EQ(view->Write(data.data(), 3000), 3000u);
  EXPECT_EQ(folder_.ReadFile("f").substr(5000, 3000), data);
}

// Every chunk maps its own range on its own thread, and the first Map of all of them
// creates the file's mapping. Run under ThreadSanitizer, this shows a race in that creation.
TEST_F(PosixSharedFileTest, ManyThreadsMapAndWriteDisjointRangesAtOnce) {
  constexpr int kThreads = 16;
  constexpr uint64_t kRange = 64 * 1024 + 123;  // not page-aligned: views share pages
  const auto file = Open("f", 0, kThreads * kRange - 1);
  ASSERT_TRUE(file->Allocate(kThreads * kRange));
  std::atomic<int> waiting{kThreads};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      const std::string data = Pattern(kRange, t);
      waiting.fetch_sub(1);
      while (waiting.load() > 0) std::this_thread::yield();
      const auto view = file->Map(t * kRange, (t + 1) * kRange - 1);
      view->Write(data.data(), kRange);
    });
  }
  for (std::thread& thread : threads) thread.join();
  const std::string content = folder_.ReadFile("f");
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_TRUE(content.substr(t * kRange, kRange) == Pattern(kRange, t)) << "range " << t;
  }
}

mode_t ModeOf(const std::string& path) {
  struct stat status {};
  EXPECT_EQ(stat(path.c_str(), &status), 0) << path;
  return status.st_mode & 07777;
}

// What another process may do to a file's path while the file is open. The file stays
// the same object however its size changes; any other file at the path, a link to the
// file included, is not it.
TEST_F(PosixSharedFileTest, IsAtPathUntilAnotherFileTakesThePath) {
  const struct {
    const char* name;
    void (*change)(const TestFolder& folder);
    bool atPath;
  } cases[] = {
      {"untouched", [](const TestFolder&) {}, true},
      {"grown", [](const TestFolder& f) { fs::resize_file(f / "d/f", 3000); }, true},
      {"truncated", [](const TestFolder& f) { fs::resize_file(f / "d/f", 10); }, true},
      {"deleted", [](const TestFolder& f) { fs::remove(f / "d/f"); }, false},
      {"renamed away", [](const TestFolder& f) { fs::rename(f / "d/f", f / "d/g"); }, false},
      {"renamed over",
       [](const TestFolder& f) {
         f.WriteFile("other", Pattern(2000));
         fs::rename(f / "other", f / "d/f");
       },
       false},
      {"a link to it in its place",
       [](const TestFolder& f) {
         fs::rename(f / "d/f", f / "d/g");
         fs::create_symlink("g", f / "d/f");
       },
       false},
      {"its folder a link to where it went",
       [](const TestFolder& f) {
         fs::rename(f / "d", f / "e");
         fs::create_symlink("e", f / "d");
       },
       false},
      {"its folder renamed away", [](const TestFolder& f) { fs::rename(f / "d", f / "e"); }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TestFolder folder;
    fs::create_directory(folder / "d");
    folder.WriteFile("d/f", Pattern(2000));
    const auto file = factory_.Create(folder.path(), "d/f", Mode::OpenExisting, 0, kUnbounded);
    EXPECT_TRUE(file->IsAtPath());
    c.change(folder);
    EXPECT_EQ(file->IsAtPath(), c.atPath);
  }
}

// Runs the file and answers its exit code, or -errno when it cannot be started.
int RunProgram(const std::string& path) {
  pid_t pid;
  char* argv[] = {const_cast<char*>(path.c_str()), nullptr};
  char* envp[] = {nullptr};
  const int error = posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, envp);
  if (error != 0) return -error;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1000;
}

TEST_F(PosixSharedFileTest, ExecuteGuardDecidesWhetherAScriptRuns) {
  const std::string path = folder_ / "run.exe";
  {
    const auto file = Open("run.exe", 0, kUnbounded, Mode::CreateNew);
    const std::string script = "#!/bin/sh\nexit 7\n";
    file->Write(script.data(), static_cast<uint32_t>(script.size()));
  }
  EXPECT_EQ(RunProgram(path), -EACCES) << "a fresh download is not runnable";
  const mode_t created = ModeOf(path);  // 0666 less the umask

  // The descriptor is closed before every launch: a file open for writing cannot run.
  EXPECT_TRUE(Open("run.exe", 0, kUnbounded, Mode::OpenExisting)->AllowExecute());
  EXPECT_EQ(RunProgram(path), 7);
  EXPECT_EQ(ModeOf(path), created | ((created & 0444) >> 2)) << "x wherever r is";

  EXPECT_TRUE(Open("run.exe", 0, kUnbounded, Mode::OpenExisting)->DenyExecute());
  EXPECT_EQ(RunProgram(path), -EACCES) << "runnable by nobody, root included";
  EXPECT_EQ(ModeOf(path), created) << "every x bit cleared, nothing else changed";

  EXPECT_TRUE(Open("run.exe", 0, kUnbounded, Mode::OpenExisting)->AllowExecute());
  EXPECT_TRUE(Open("run.exe", 0, kUnbounded, Mode::OpenExisting)->AllowExecute());
  EXPECT_EQ(RunProgram(path), 7);
}

// Another local user who may write a file or folder the updater made could rewrite the
// run file after it was verified. Whatever the umask, neither creating nor the execute
// guard leaves anything writable by group or others.
TEST_F(PosixSharedFileTest, NothingItMakesIsWritableByOthersWhateverTheUmask) {
  ScopedUmask umask(0);
  Open("sub/dir/run.exe", 0, kUnbounded, Mode::CreateNew);
  EXPECT_EQ(ModeOf(folder_ / "sub"), 0755u);
  EXPECT_EQ(ModeOf(folder_ / "sub/dir"), 0755u);
  EXPECT_EQ(ModeOf(folder_ / "sub/dir/run.exe"), 0644u);

  // A file left writable by others, as an earlier run under this umask made it.
  const struct {
    mode_t before;
    mode_t allowed;  // x wherever r is
    mode_t denied;
  } cases[] = {
      {0644, 0755, 0644}, {0666, 0755, 0644}, {0622, 0700, 0600},
      {0640, 0750, 0640}, {0777, 0755, 0644}, {0600, 0700, 0600},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::oct << c.before);
    ASSERT_EQ(chmod((folder_ / "sub/dir/run.exe").c_str(), c.before), 0);
    EXPECT_TRUE(Open("sub/dir/run.exe", 0, kUnbounded, Mode::OpenExisting)->AllowExecute());
    EXPECT_EQ(ModeOf(folder_ / "sub/dir/run.exe"), c.allowed);
    EXPECT_TRUE(Open("sub/dir/run.exe", 0, kUnbounded, Mode::OpenExisting)->DenyExecute());
    EXPECT_EQ(ModeOf(folder_ / "sub/dir/run.exe"), c.denied);
  }
}

}  // namespace
}  // namespace zarn
