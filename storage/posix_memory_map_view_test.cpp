#include "storage/posix_memory_map_view.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "storage/crc32.h"
#include "storage/file_exception.h"
#include "storage/posix_memory_map.h"
#include "storage/posix_shared_file_factory.h"
#include "storage/testing/test_folder.h"
#include "storage/view_buffer_pool.h"

namespace zarn {
namespace {

using Mode = SharedFileOpenMode;

// The two ways a view works: on a buffer of its own, or on the file's mapped pages.
enum class Way { kBuffered, kMapped };

std::string Pattern(std::size_t size) {
  std::string data(size, '\0');
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>(i * 7 + i / 251);
  return data;
}

const uint64_t kPage = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));

uint32_t ChunkCrc32(const uint8_t* data, uint32_t length) { return Crc32(data, length); }

struct timespec ModificationTime(const std::string& path) {
  struct stat status {};
  EXPECT_EQ(stat(path.c_str(), &status), 0) << path;
  return status.st_mtim;
}

class PosixMemoryMapViewTest : public testing::Test {
 protected:
  // A view of [a, b] of the file `name` made the given way, over a map of the test's own.
  std::shared_ptr<MemoryMappedFileData> ViewOf(const std::string& name, uint64_t a, uint64_t b,
                                               Way way) {
    const int fd = open((folder_ / name).c_str(), O_RDWR | O_CLOEXEC);
    EXPECT_GE(fd, 0);
    struct stat status {};
    fstat(fd, &status);
    auto map = std::make_shared<PosixMemoryMap>(fd, static_cast<uint64_t>(status.st_size));
    close(fd);  // the map has a descriptor of its own
    auto view = MakePosixMemoryMapView(map, a, b, way == Way::kBuffered ? &pool_ : nullptr);
    EXPECT_EQ(dynamic_cast<PosixMemoryMapView&>(*view).buffered(), way == Way::kBuffered);
    return view;
  }

  uint64_t SizeOf(const std::string& name) { return std::filesystem::file_size(folder_ / name); }

  // The file `name` holding `content`, opened without bounds.
  std::shared_ptr<SharedFile> FileWith(const std::string& name, const std::string& content) {
    folder_.WriteFile(name, content);
    return factory_.Create(folder_.path(), name, Mode::OpenExisting, 0, UINT64_MAX);
  }

  // Cuts the file to size (nothing by default) from another process, as a user or a second
  // program would.
  void TruncateFromAnotherProcess(const std::string& name, off_t size = 0) {
    const std::string path = folder_ / name;
    const pid_t child = fork();
    if (child == 0) _exit(truncate(path.c_str(), size) == 0 ? 0 : 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }

  PosixSharedFileFactory factory_;
  TestFolder folder_;
  ViewBufferPool pool_{64 << 20, 16 << 20};
};

class EachWayTest : public PosixMemoryMapViewTest, public testing::WithParamInterface<Way> {};
INSTANTIATE_TEST_SUITE_P(Ways, EachWayTest, testing::Values(Way::kBuffered, Way::kMapped),
                         [](const testing::TestParamInfo<Way>& info) {
                           return info.param == Way::kBuffered ? "Buffered" : "Mapped";
                         });

TEST_F(PosixMemoryMapViewTest, ViewInsideAPageMapsFromThePageStart) {
  const std::string content = Pattern(3 * kPage);
  const auto file = FileWith("f", content);
  const auto view = file->Map(kPage + 100, kPage + 1099);
  EXPECT_EQ(dynamic_cast<PosixMemoryMapView&>(*view).delta(), 100u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(view->Data()), 1000),
            content.substr(kPage + 100, 1000));
  EXPECT_EQ(view->Tell(), kPage + 100);
  EXPECT_EQ(dynamic_cast<PosixMemoryMapView&>(*file->Map(2 * kPage, 2 * kPage)).delta(), 0u);
}

TEST_F(PosixMemoryMapViewTest, ReadsAreCappedAndNeverShortened) {
  const std::string content = Pattern(10000);
  const auto view = FileWith("f", content)->Map(0, 9999);
  std::string back(10000, '\0');
  EXPECT_EQ(view->Read(&back[0], 10000), 4096u);
  EXPECT_EQ(view->Read(&back[4096], 10000), 4096u);
  EXPECT_THROW(view->Read(&back[8192], 4096), FileOutOfBoundsException);
  EXPECT_EQ(view->Read(&back[8192], 1808), 1808u);
  EXPECT_EQ(back, content);
}

TEST_F(PosixMemoryMapViewTest, AdvanceHandsOutTheBytesAtTheCursor) {
  const auto view = FileWith("f", Pattern(100))->Map(10, 59);
  EXPECT_EQ(view->Advance(0), nullptr);
  EXPECT_EQ(view->Tell(), 10u);
  EXPECT_EQ(view->Advance(20), view->Data());
  EXPECT_EQ(view->Advance(30), view->Data() + 20);
  EXPECT_EQ(view->Tell(), 60u);
  EXPECT_THROW(view->Advance(1), FileOutOfBoundsException);
}

TEST_F(PosixMemoryMapViewTest, ApplyRunsOnceOverTheWholeRange) {
  const std::string content = Pattern(5000);
  const auto file = FileWith("f", content);
  for (const auto& range : {std::make_pair(0, 4999), std::make_pair(4321, 4321)}) {
    const auto view = file->Map(range.first, range.second);
    view->Advance(1);  // the cursor does not matter
    int calls = 0;
    const uint32_t crc = view->Apply([&calls](const uint8_t* data, uint32_t length) {
      ++calls;
      return Crc32(data, length);
    });
    const uint32_t length = range.second - range.first + 1;
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(crc, Crc32(content.data() + range.first, length));
  }
  EXPECT_NO_THROW(file->Map(100, 4999)->Fetch());
}

// The page walk of Fetch with a large stand-in page size over an address reservation close
// to 4 GiB: a walk with a 32-bit offset would wrap from its last page back into the range
// and never end.
TEST_F(PosixMemoryMapViewTest, PageWalkEndsForRangesCloseTo4GiB) {
  const uint64_t length = 0xFFFFFFFFull;
  void* reservation =
      mmap(nullptr, length, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  ASSERT_NE(reservation, MAP_FAILED);
  uint8_t combined = 1;
  const auto* data = static_cast<const volatile uint8_t*>(reservation);
  EXPECT_EQ(TouchPages(data, length, 1ull << 31, combined), 2u);  // offsets 0 and 2^31
  EXPECT_EQ(combined, 0u);
  EXPECT_EQ(TouchPages(data, length, 0xFFFFF000ull, combined), 2u);
  EXPECT_EQ(TouchPages(data, 3 * kPage + 1, kPage, combined), 4u);
  munmap(reservation, length);
}

TEST_P(EachWayTest, TruncatedFileRaisesInvalidMapAndTheProcessGoesOn) {
  folder_.WriteFile("f", Pattern(4 * kPage));
  const auto view = ViewOf("f", 100, 3 * kPage, GetParam());
  auto pending = ViewOf("f", 3 * kPage + 1, 4 * kPage - 1, GetParam());
  char buffer[64] = {};
  pending->Write(buffer, 64);  // the start of a body, not yet in the file when buffered
  TruncateFromAnotherProcess("f");

  EXPECT_THROW(view->Fetch(), FileInvalidMapException);
  EXPECT_THROW(view->Apply(&ChunkCrc32), FileInvalidMapException);
  view->Seek(200);
  EXPECT_THROW(view->Read(buffer, 64), FileInvalidMapException);
  EXPECT_EQ(view->Tell(), 264u) << "Read moves the cursor before it copies";
  EXPECT_THROW(view->Write(buffer, 64), FileInvalidMapException);
  EXPECT_EQ(view->Tell(), 264u) << "Write moves it only after the copy";
  // A whole body: nothing of it may go into the file, which would grow again with a hole
  // where the other ranges' bytes were.
  const std::string body(3 * kPage - 99, 'b');
  view->Seek(100);
  EXPECT_THROW(view->Write(body.data(), static_cast<uint32_t>(body.size())),
               FileInvalidMapException);
  // The same views fail the same way on a second try.
  EXPECT_THROW(view->Fetch(), FileInvalidMapException);
  EXPECT_THROW(pending->Apply(&ChunkCrc32), FileInvalidMapException);
  pending.reset();  // the bytes it holds are dropped, not written
  EXPECT_EQ(SizeOf("f"), 0u);
}

// Stands in for a kernel that does not know the populate request, for one test.
class ScopedRefusedPopulate {
 public:
  ScopedRefusedPopulate() : previous_(SetPopulatePagesFunction(&Refuse)) { calls_ = 0; }
  ~ScopedRefusedPopulate() { SetPopulatePagesFunction(previous_); }
  static int calls() { return calls_; }

 private:
  static int Refuse(void*, std::size_t) {
    ++calls_;
    errno = EINVAL;
    return -1;
  }
  static inline std::atomic<int> calls_{0};
  PopulatePagesFunction previous_;
};

// Without the kernel's help a mapped view's Fetch walks the pages itself, with the same
// outcome: the pages are in, or a page that cannot be brought in raises InvalidMap.
TEST_F(PosixMemoryMapViewTest, FetchWalksThePagesWhenTheKernelRefusesToPopulate) {
  ScopedRefusedPopulate refused;
  const std::string content = Pattern(4 * kPage);
  folder_.WriteFile("f", content);
  const auto view = ViewOf("f", 100, 3 * kPage, Way::kMapped);
  EXPECT_NO_THROW(view->Fetch());
  EXPECT_EQ(ScopedRefusedPopulate::calls(), 1);
  EXPECT_EQ(view->Apply(&ChunkCrc32), Crc32(content.data() + 100, 3 * kPage - 99));

  // Only the view's last pages are gone: every page is walked.
  TruncateFromAnotherProcess("f", static_cast<off_t>(2 * kPage));
  EXPECT_THROW(view->Fetch(), FileInvalidMapException);
  EXPECT_EQ(ScopedRefusedPopulate::calls(), 2);
}

// A chunk that is already complete is only read: its file is not written, its pages are
// not dirtied and its modification time stays.
TEST_P(EachWayTest, AViewThatIsOnlyReadWritesNothing) {
  const std::string content = Pattern(3 * kPage);
  folder_.WriteFile("f", content);
  const struct timespec past[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, (folder_ / "f").c_str(), past, 0), 0);
  {
    const auto view = ViewOf("f", 10, 3 * kPage - 11, GetParam());
    view->Fetch();
    EXPECT_EQ(view->Apply(&ChunkCrc32), Crc32(content.data() + 10, 3 * kPage - 20));
    char buffer[100];
    view->Seek(20);
    EXPECT_EQ(view->Read(buffer, 100), 100u);
    EXPECT_EQ(std::string(buffer, 100), content.substr(20, 100));
  }
  const struct timespec after = ModificationTime(folder_ / "f");
  EXPECT_EQ(after.tv_sec, past[0].tv_sec);
  EXPECT_EQ(after.tv_nsec, 0);
  EXPECT_EQ(folder_.ReadFile("f"), content);
}

// A body arrives in pieces: the file has it once its last byte is written, and Apply sees
// what the file holds, also after a failed body was written again from the start.
TEST_P(EachWayTest, BodiesReachTheFileAndApplySeesWhatItHolds) {
  folder_.WriteFile("f", std::string(3 * kPage, 'x'));
  const std::string first = Pattern(kPage);
  const std::string second = Pattern(2 * kPage).substr(kPage);
  {
    const auto view = ViewOf("f", kPage, 2 * kPage - 1, GetParam());
    view->Fetch();
    view->Write(first.data(), 1000);  // a body that breaks off
    view->Seek(kPage);
    view->Write(second.data(), 3000);
    view->Write(second.data() + 3000, static_cast<uint32_t>(kPage - 3000));
    EXPECT_EQ(folder_.ReadFile("f").substr(kPage, kPage), second);
    EXPECT_EQ(view->Apply(&ChunkCrc32), Crc32(second.data(), kPage));

    view->Seek(kPage);
    view->Write(first.data(), 500);  // a partial body: the file has it before Apply runs
    EXPECT_EQ(view->Apply(&ChunkCrc32),
              Crc32((first.substr(0, 500) + second.substr(500)).data(), kPage));
    view->Seek(kPage + 600);
    view->Write(first.data(), 10);  // pending when the view goes
  }
  const std::string content = folder_.ReadFile("f");
  EXPECT_EQ(content.substr(0, kPage), std::string(kPage, 'x'));
  EXPECT_EQ(content.substr(kPage + 600, 10), first.substr(0, 10));
  EXPECT_EQ(content.substr(2 * kPage), std::string(kPage, 'x'));
}

// The ranges of a file sized here are zeros and are not read; a range that any way of
// writing has touched since is read from the file.
TEST_F(PosixMemoryMapViewTest, OnlyRangesNotWrittenSinceSizingAreTakenForZeros) {
  const uint64_t size = 8 * kPage;
  const auto file = factory_.Create(folder_.path(), "f", Mode::CreateNew, 0, size - 1);
  ASSERT_TRUE(file->Allocate(size));
  auto crc_of = [&](uint64_t a, uint64_t b) {
    const auto view = file->Map(a, b);
    view->Fetch();
    return view->Apply(&ChunkCrc32);
  };
  auto file_crc = [&](uint64_t a, uint64_t b) {
    return Crc32(folder_.ReadFile("f").data() + a, static_cast<std::size_t>(b - a + 1));
  };
  const std::string zeros(size, '\0');
  EXPECT_EQ(crc_of(0, size - 1), Crc32(zeros.data(), size));

  const std::string bytes = Pattern(kPage);
  file->Map(kPage, 2 * kPage - 1)->Write(bytes.data(), kPage);  // through a view
  EXPECT_EQ(crc_of(kPage / 2, 3 * kPage - 1), file_crc(kPage / 2, 3 * kPage - 1));
  EXPECT_EQ(crc_of(2 * kPage, 3 * kPage - 1), Crc32(zeros.data(), kPage));  // untouched

  std::memcpy(file->Map(3 * kPage, 4 * kPage - 1)->Data() + 7, "mapped", 6);  // in place
  EXPECT_EQ(crc_of(3 * kPage, 4 * kPage - 1), file_crc(3 * kPage, 4 * kPage - 1));
  EXPECT_NE(crc_of(3 * kPage, 4 * kPage - 1), Crc32(zeros.data(), kPage));

  file->Seek(6 * kPage + 5);
  file->Write("around", 6);  // past every view
  EXPECT_EQ(crc_of(5 * kPage, size - 1), file_crc(5 * kPage, size - 1));
  EXPECT_NE(crc_of(5 * kPage, size - 1), Crc32(zeros.data(), 3 * kPage));
}

// What a buffered view was given but has not written yet (a body that broke off before the
// range's end) is what Read and Apply see, also on a file sized here and in a view that
// found its range to be zeros before.
TEST_F(PosixMemoryMapViewTest, ABufferedViewShowsWhatItWasGivenBeforeTheFileHasIt) {
  const uint64_t size = 4 * kPage;
  const auto file = factory_.Create(folder_.path(), "f", Mode::CreateNew, 0, size - 1);
  ASSERT_TRUE(file->Allocate(size));
  const std::string prefix = Pattern(1000);
  const std::string expected = prefix + std::string(2 * kPage - prefix.size(), '\0');
  for (const bool fetched : {false, true}) {
    SCOPED_TRACE(fetched ? "fetched first" : "not fetched");
    const uint64_t lower = fetched ? 2 * kPage : 0;
    const auto view = file->Map(lower, lower + 2 * kPage - 1);
    ASSERT_TRUE(dynamic_cast<PosixMemoryMapView&>(*view).buffered());
    if (fetched) view->Fetch();
    view->Write(prefix.data(), static_cast<uint32_t>(prefix.size()));

    std::string back(prefix.size(), '\0');
    view->Seek(lower);
    EXPECT_EQ(view->Read(&back[0], static_cast<uint32_t>(back.size())), back.size());
    EXPECT_TRUE(back == prefix) << "Read answers other bytes than the view was given";
    EXPECT_EQ(view->Apply(&ChunkCrc32), Crc32(expected.data(), expected.size()));
  }
}

TEST_F(PosixMemoryMapViewTest, ThreadsFaultingAtOnceEachGetTheirOwnException) {
  constexpr int kThreads = 4;
  std::vector<std::shared_ptr<MemoryMappedFileData>> views;
  for (int t = 0; t < kThreads; ++t) {
    const std::string name = "f" + std::to_string(t);
    views.push_back(FileWith(name, Pattern(8 * kPage))->Map(0, 8 * kPage - 1));
    TruncateFromAnotherProcess(name);
  }
  std::vector<int> caught(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      char buffer[16];
      for (int i = 0; i < 200; ++i) {
        try {
          if (i % 2) {
            views[t]->Fetch();
          } else {
            views[t]->Seek(i * 16);
            views[t]->Write(buffer, 16);
          }
        } catch (const FileInvalidMapException&) {
          ++caught[t];
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (int t = 0; t < kThreads; ++t) EXPECT_EQ(caught[t], 200) << "thread " << t;
}

// A fault that is not inside the view being touched is a bug and must still crash.
TEST_F(PosixMemoryMapViewTest, FaultOutsideAnyViewStillCrashes) {
  const auto view = FileWith("f", Pattern(kPage))->Map(0, kPage - 1);
  view->Fetch();  // the handler is installed by now
  // A wild pointer: an address nobody may touch.
  static volatile uint8_t* wild = static_cast<volatile uint8_t*>(
      mmap(nullptr, kPage, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(wild, MAP_FAILED);
  EXPECT_EXIT(*wild = 1, testing::KilledBySignal(SIGSEGV), "");
  // A wild pointer inside a guarded stretch (here the function of Apply) is no view fault.
  EXPECT_EXIT(view->Apply([](const uint8_t*, uint32_t) -> uint32_t { return *wild; }),
              testing::KilledBySignal(SIGSEGV), "");
  munmap(const_cast<uint8_t*>(wild), kPage);
}

}  // namespace
}  // namespace zarn
