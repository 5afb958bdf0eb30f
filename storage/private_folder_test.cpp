#include "storage/private_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "storage/file_exception.h"
#include "storage/test_folder.h"

namespace zarn {
namespace {

namespace fs = std::filesystem;

mode_t ModeOf(const std::string& path) {
  struct stat status {};
  EXPECT_EQ(lstat(path.c_str(), &status), 0) << path;
  return status.st_mode & 07777;
}

// Makes a fresh folder the process's temporary folder for one test.
class PrivateFolderTest : public testing::Test {
 protected:
  TestFolder temp_;
  TestFolder elsewhere_;
  ScopedTmpdir tmpdir_{temp_.path()};
};

TEST_F(PrivateFolderTest, CreatesTheChainForThisUserOnly) {
  const std::string path = temp_ / "Maker/Product/transfers";
  CreatePrivateFolder(path);
  for (const std::string& folder : {temp_ / "Maker", temp_ / "Maker/Product", path}) {
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_EQ(ModeOf(folder), 0700u) << folder;
  }
  // Again, and from an existing part of the chain: nothing changes, nothing fails.
  CreatePrivateFolder(path);
  CreatePrivateFolder(temp_ / "Maker//Product/./logs/");
  EXPECT_TRUE(fs::is_directory(temp_ / "Maker/Product/logs"));
  CreatePrivateFolder(temp_.path());
}

TEST_F(PrivateFolderTest, RefusesAPlantedLinkOrAForeignFolder) {
  // A link planted where the chain goes, pointing at a folder somebody else controls.
  fs::create_directory(temp_ / "Maker");
  fs::create_directory_symlink(elsewhere_.path(), temp_ / "Maker/Product");
  EXPECT_THROW(CreatePrivateFolder(temp_ / "Maker/Product/transfers"),
               FileInaccessibleException);
  EXPECT_TRUE(fs::is_empty(elsewhere_.path())) << "nothing was created through the link";

  // A folder that belongs to another user (only root can hand one over).
  if (geteuid() == 0) {
    fs::create_directory(temp_ / "Foreign");
    ASSERT_EQ(chown((temp_ / "Foreign").c_str(), 65534, 65534), 0);
    EXPECT_THROW(CreatePrivateFolder(temp_ / "Foreign/sub"), FileInaccessibleException);
    EXPECT_FALSE(fs::exists(temp_ / "Foreign/sub"));
  }
}

TEST_F(PrivateFolderTest, RefusesPathsThatLeaveTheTemporaryFolder) {
  temp_.WriteFile("file", "x");
  EXPECT_THROW(CreatePrivateFolder(temp_ / "file/sub"), FileBadPathException);
  EXPECT_THROW(CreatePrivateFolder(elsewhere_ / "x"), FileBadPathException);
  EXPECT_THROW(CreatePrivateFolder(temp_ / "a/../../x"), FileBadPathException);
  EXPECT_THROW(CreatePrivateFolder(temp_.path() + "-sibling/x"), FileBadPathException);
  EXPECT_FALSE(fs::exists(temp_ / "a"));
}

}  // namespace
}  // namespace zarn
