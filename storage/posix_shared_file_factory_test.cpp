#include "storage/posix_shared_file_factory.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <iterator>

#include "storage/file_exception.h"
#include "storage/testing/test_folder.h"

namespace zarn {
namespace {

namespace fs = std::filesystem;
using Mode = SharedFileOpenMode;
constexpr uint64_t kUnbounded = UINT64_MAX;

class PosixSharedFileFactoryTest : public testing::Test {
 protected:
  std::shared_ptr<SharedFile> Open(const std::string& name, Mode mode, uint64_t lower = 0,
                                   uint64_t upper = kUnbounded) {
    return factory_.Create(folder_.path(), name, mode, lower, upper);
  }

  PosixSharedFileFactory factory_;
  TestFolder folder_;
};

TEST_F(PosixSharedFileFactoryTest, FolderThatIsMissingOrNoFolderIsABadPathInEveryMode) {
  folder_.WriteFile("plain", "x");
  for (Mode mode : {Mode::OpenAlways, Mode::CreateNew, Mode::OpenExisting}) {
    EXPECT_THROW(factory_.Create(folder_ / "missing", "f", mode, 0, kUnbounded),
                 FileBadPathException);
    EXPECT_THROW(factory_.Create(folder_ / "plain", "f", mode, 0, kUnbounded),
                 FileBadPathException);
  }
  EXPECT_FALSE(fs::exists(folder_ / "missing"));
  EXPECT_EQ(folder_.ReadFile("plain"), "x");
}

TEST_F(PosixSharedFileFactoryTest, EachModeOpensOrRefusesAsItSays) {
  // OpenExisting of a missing file: BadPath, and no sub-folder is made on the way.
  EXPECT_THROW(Open("sub/f", Mode::OpenExisting), FileBadPathException);
  EXPECT_FALSE(fs::exists(folder_ / "sub"));

  // OpenAlways creates the file and its missing sub-folders, with '/' or '\' between them.
  Open("a/b/f", Mode::OpenAlways)->Write("xyz", 3);
  EXPECT_EQ(folder_.ReadFile("a/b/f"), "xyz");
  Open("c\\d\\g", Mode::OpenAlways);
  EXPECT_TRUE(fs::is_regular_file(folder_ / "c/d/g"));

  // OpenAlways and OpenExisting open an existing file without truncating it.
  EXPECT_EQ(Open("a/b/f", Mode::OpenAlways)->Size(), 3u);
  EXPECT_EQ(Open("a/b/f", Mode::OpenExisting)->Size(), 3u);

  // CreateNew refuses an existing file, and creates a new one with its folders.
  EXPECT_THROW(Open("a/b/f", Mode::CreateNew), FileInUseException);
  EXPECT_EQ(folder_.ReadFile("a/b/f"), "xyz");
  Open("e/h", Mode::CreateNew);
  EXPECT_TRUE(fs::is_regular_file(folder_ / "e/h"));

  // A folder where the file should be is refused as inaccessible.
  EXPECT_THROW(Open("a", Mode::OpenAlways), FileInaccessibleException);
}

// A link planted inside a destination must not carry a download, or a file that is later
// started, anywhere else: every mode refuses it as inaccessible, and Delete removes no
// file through a folder link.
TEST_F(PosixSharedFileFactoryTest, LinksBelowTheFolderAreNeverFollowed) {
  TestFolder elsewhere;
  elsewhere.WriteFile("kept", "x");
  fs::create_directory_symlink(elsewhere.path(), folder_ / "data");
  fs::create_symlink(elsewhere / "planted", folder_ / "dangling.exe");
  fs::create_symlink(elsewhere / "kept", folder_ / "existing.exe");
  const struct {
    const char* name;
    Mode mode;
  } cases[] = {
      {"data/game.pak", Mode::OpenAlways},  {"data/game.pak", Mode::CreateNew},
      {"data/kept", Mode::OpenExisting},    {"data/sub/f", Mode::OpenAlways},
      {"dangling.exe", Mode::OpenAlways},   {"dangling.exe", Mode::CreateNew},
      {"existing.exe", Mode::OpenAlways},   {"existing.exe", Mode::OpenExisting},
      {"data\\game.pak", Mode::OpenAlways},
  };
  for (const auto& c : cases) {
    EXPECT_THROW(Open(c.name, c.mode), FileInaccessibleException) << c.name;
  }
  EXPECT_FALSE(factory_.Delete(folder_.path(), "data/kept"));
  EXPECT_EQ(elsewhere.ReadFile("kept"), "x");
  EXPECT_EQ(std::distance(fs::directory_iterator(elsewhere.path()), fs::directory_iterator()), 1);

  // The folder itself may be reached through a link; a link in a file's place is removed
  // itself, never its target.
  fs::create_directory_symlink(folder_.path(), elsewhere / "root");
  EXPECT_EQ(factory_.Create(elsewhere / "root", "f", Mode::OpenAlways, 0, kUnbounded)->Size(), 0u);
  EXPECT_TRUE(factory_.Delete(folder_.path(), "existing.exe"));
  EXPECT_EQ(elsewhere.ReadFile("kept"), "x");
}

TEST_F(PosixSharedFileFactoryTest, InvertedBoundsTouchNothing) {
  EXPECT_THROW(Open("x/f", Mode::OpenAlways, 10, 9), FileOutOfBoundsException);
  EXPECT_FALSE(fs::exists(folder_ / "x"));
  const auto one_byte = Open("f", Mode::OpenAlways, 5, 5);
  EXPECT_EQ(one_byte->Tell(), 5u);
}

TEST_F(PosixSharedFileFactoryTest, PathThatIsNotUtf8IsABadPath) {
  EXPECT_THROW(Open("bad\xFF", Mode::OpenAlways), FileBadPathException);
  EXPECT_THROW(factory_.Create(folder_.path() + "\xC0", "f", Mode::OpenAlways, 0, kUnbounded),
               FileBadPathException);
}

TEST_F(PosixSharedFileFactoryTest, PermissionDenied) {
  if (geteuid() == 0) GTEST_SKIP() << "root is never denied access";
  fs::create_directory(folder_ / "locked");
  folder_.WriteFile("locked/old", "x");
  fs::permissions(folder_ / "locked", fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_THROW(Open("locked/new", Mode::OpenAlways), FileInaccessibleException);
  EXPECT_THROW(Open("locked/sub/new", Mode::OpenAlways), FileInaccessibleException);
  fs::permissions(folder_ / "locked", fs::perms::owner_all);
  fs::permissions(folder_ / "locked/old", fs::perms::owner_read);
  EXPECT_THROW(Open("locked/old", Mode::OpenExisting), FileInaccessibleException);
}

TEST_F(PosixSharedFileFactoryTest, DescriptorIsNotInheritedByChildProcesses) {
  const auto file = Open("f", Mode::OpenAlways);
  int found = 0;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    if (fs::read_symlink(entry.path(), error) != fs::path(folder_ / "f")) continue;
    const int fd = std::stoi(entry.path().filename().string());
    EXPECT_TRUE(fcntl(fd, F_GETFD) & FD_CLOEXEC);
    ++found;
  }
  EXPECT_EQ(found, 1);
}

TEST_F(PosixSharedFileFactoryTest, DeleteReportsWhetherAFileWentAway) {
  folder_.WriteFile("f", "x");
  fs::create_directory(folder_ / "d");
  EXPECT_TRUE(factory_.Delete(folder_.path(), "f"));
  EXPECT_FALSE(fs::exists(folder_ / "f"));
  EXPECT_FALSE(factory_.Delete(folder_.path(), "f"));
  EXPECT_FALSE(factory_.Delete(folder_.path(), "d"));
  EXPECT_FALSE(factory_.Delete(folder_ / "missing", "f"));
  EXPECT_FALSE(factory_.Delete(folder_.path(), "bad\xFF"));
}

TEST_F(PosixSharedFileFactoryTest, IsExecutableByExactExtension) {
  struct Case {
    const char* name;
    bool executable;
  } cases[] = {
      {"run.exe", true},       {"a\\b\\setup.msi", true}, {"a/b/x.bat", true},
      {"x.com", true},         {"x.cmd", true},           {"x.vbs", true},
      {"setup.EXE", false},    {"readme.txt", false},     {"noextension", false},
      {"dir.exe/name", false}, {"dir.exe\\name", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(factory_.IsExecutable("/anywhere", c.name), c.executable) << c.name;
  }
}

}  // namespace
}  // namespace zarn
