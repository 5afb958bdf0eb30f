#include "storage/posix_memory_map_view.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "storage/crc32.h"
#include "storage/file_exception.h"
#include "storage/posix_shared_file_factory.h"
#include "storage/test_folder.h"

namespace zarn {
namespace {

using Mode = SharedFileOpenMode;

std::string Pattern(std::size_t size) {
  std::string data(size, '\0');
  for (std::size_t i = 0; i < size; ++i) data[i] = static_cast<char>(i * 7 + i / 251);
  return data;
}

const uint64_t kPage = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));

class PosixMemoryMapViewTest : public testing::Test {
 protected:
  // The file `name` holding `content`, opened without bounds.
  std::shared_ptr<SharedFile> FileWith(const std::string& name, const std::string& content) {
    folder_.WriteFile(name, content);
    return factory_.Create(folder_.path(), name, Mode::OpenExisting, 0, UINT64_MAX);
  }

  // Cuts the file to nothing from another process, as a user or a second program would.
  void TruncateFromAnotherProcess(const std::string& name) {
    const std::string path = folder_ / name;
    const pid_t child = fork();
    if (child == 0) _exit(truncate(path.c_str(), 0) == 0 ? 0 : 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }

  PosixSharedFileFactory factory_;
  TestFolder folder_;
};

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
  void* reservation = mmap(nullptr, length, PROT_READ, MAP_PRIVATE | MAP_ANONYMOUS |
                           MAP_NORESERVE, -1, 0);
  ASSERT_NE(reservation, MAP_FAILED);
  uint8_t combined = 1;
  const auto* data = static_cast<const volatile uint8_t*>(reservation);
  EXPECT_EQ(TouchPages(data, length, 1ull << 31, combined), 2u);  // offsets 0 and 2^31
  EXPECT_EQ(combined, 0u);
  EXPECT_EQ(TouchPages(data, length, 0xFFFFF000ull, combined), 2u);
  EXPECT_EQ(TouchPages(data, 3 * kPage + 1, kPage, combined), 4u);
  munmap(reservation, length);
}

TEST_F(PosixMemoryMapViewTest, TruncatedFileRaisesInvalidMapAndTheProcessGoesOn) {
  const auto file = FileWith("f", Pattern(4 * kPage));
  const auto view = file->Map(100, 3 * kPage);
  TruncateFromAnotherProcess("f");

  EXPECT_THROW(view->Fetch(), FileInvalidMapException);
  EXPECT_THROW(view->Apply([](const uint8_t* data, uint32_t length) {
                 return Crc32(data, length);
               }),
               FileInvalidMapException);
  char buffer[64];
  view->Seek(200);
  EXPECT_THROW(view->Read(buffer, 64), FileInvalidMapException);
  EXPECT_EQ(view->Tell(), 264u) << "Read moves the cursor before it copies";
  EXPECT_THROW(view->Write(buffer, 64), FileInvalidMapException);
  EXPECT_EQ(view->Tell(), 264u) << "Write moves it only after the copy";
  // The guard is gone again: the same views fault the same way on a second try.
  EXPECT_THROW(view->Fetch(), FileInvalidMapException);
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
