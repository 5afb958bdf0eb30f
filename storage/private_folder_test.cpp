#include "storage/private_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "storage/file_exception.h"
#include "storage/testing/test_folder.h"

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

TEST_F(PrivateFolderTest, AcceptsAnExistingFolderOfThisUserThatOnlyItCanWrite) {
  fs::create_directories(temp_ / "Maker/Product");
  chmod((temp_ / "Maker").c_str(), 0755);
  chmod((temp_ / "Maker/Product").c_str(), 0755);
  CreatePrivateFolder(temp_ / "Maker/Product/logs");
  EXPECT_EQ(ModeOf(temp_ / "Maker"), 0755u) << "accepted as it is";
  EXPECT_EQ(ModeOf(temp_ / "Maker/Product/logs"), 0700u);
  EXPECT_NO_THROW(OpenPrivateFolder(temp_ / "Maker/Product", false));

  // The temporary folder itself may be shared and reached through a link.
  chmod(temp_.path().c_str(), 01777);
  fs::create_directory_symlink(temp_.path(), elsewhere_ / "tmp");
  ScopedTmpdir through_link(elsewhere_ / "tmp");
  CreatePrivateFolder(elsewhere_ / "tmp/Maker/Product/transfers");
  EXPECT_TRUE(fs::is_directory(temp_ / "Maker/Product/transfers"));
}

// Whatever another user made, or may write into, is refused: a planted link, a folder
// writable by group or others, a folder of another user. Nothing is created below it.
TEST_F(PrivateFolderTest, RefusesWhatAnotherUserCouldControl) {
  const struct {
    const char* name;
    bool needs_root;
    std::function<void(const std::string& planted)> plant;
  } cases[] = {
      {"link", false,
       [this](const std::string& planted) {
         fs::create_directory_symlink(elsewhere_.path(), planted);
       }},
      {"world-writable", false,
       [](const std::string& planted) {
         fs::create_directory(planted);
         chmod(planted.c_str(), 0777);
       }},
      {"group-writable", false,
       [](const std::string& planted) {
         fs::create_directory(planted);
         chmod(planted.c_str(), 0770);
       }},
      {"sticky and world-writable", false,
       [](const std::string& planted) {
         fs::create_directory(planted);
         chmod(planted.c_str(), 01777);
       }},
      {"another user's", true,
       [](const std::string& planted) {
         fs::create_directory(planted);
         chmod(planted.c_str(), 0755);
         ASSERT_EQ(chown(planted.c_str(), 65534, 65534), 0);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.needs_root && geteuid() != 0) continue;  // only root can hand a folder over
    const std::string maker = temp_ / c.name;
    fs::create_directory(maker);
    c.plant(maker + "/Product");
    for (bool create : {true, false}) {
      EXPECT_THROW(OpenPrivateFolder(maker + "/Product/transfers", create),
                   FileInaccessibleException);
      EXPECT_THROW(OpenPrivateFolder(maker + "/Product", create), FileInaccessibleException);
    }
    EXPECT_FALSE(fs::exists(maker + "/Product/transfers"));
  }
  EXPECT_TRUE(fs::is_empty(elsewhere_.path())) << "nothing was created through the link";
}

// Whoever may write into a temporary folder without the sticky bit can rename the
// product's folders in it, made now or before; a sticky one, as /tmp (1777), is fine.
TEST_F(PrivateFolderTest, ASharedTemporaryFolderNeedsTheStickyBit) {
  const struct {
    mode_t mode;
    bool accepted;
  } cases[] = {{0777, false}, {0773, false}, {0770, false}, {01777, true},
               {01770, true}, {0755, true},  {0700, true}};
  const std::string made = temp_ / "Maker/Product";
  const std::string fresh = temp_ / "Other/Product";
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::oct << c.mode);
    chmod(temp_.path().c_str(), 0700);
    fs::remove_all(temp_ / "Other");
    CreatePrivateFolder(made);
    ASSERT_EQ(chmod(temp_.path().c_str(), c.mode), 0);
    if (c.accepted) {
      EXPECT_NO_THROW(OpenPrivateFolder(made, false));
      EXPECT_NO_THROW(CreatePrivateFolder(fresh));
    } else {
      EXPECT_THROW(OpenPrivateFolder(made, false), FileInaccessibleException);
      EXPECT_THROW(CreatePrivateFolder(made), FileInaccessibleException);
      EXPECT_THROW(CreatePrivateFolder(fresh), FileInaccessibleException);
      EXPECT_FALSE(fs::exists(temp_ / "Other")) << "nothing was made in it";
    }
  }
  chmod(temp_.path().c_str(), 0700);
}

void MakeFolder(const std::string& path, mode_t mode) {
  fs::create_directory(path);
  ASSERT_EQ(chmod(path.c_str(), mode), 0) << path;
}

// Whoever may change a folder above the temporary folder, or a link on the way to it, can
// swap the whole chain below it. Every folder from the root down passes the rule of a
// shared temporary folder (root's or this user's; writable by others only with the sticky
// bit), and a link is followed only when root or this user owns it, its target checked the
// same way.
TEST_F(PrivateFolderTest, EveryFolderAboveTheTemporaryFolderPassesTheSameRule) {
  constexpr uid_t kOther = 65534;
  const struct {
    const char* name;
    bool needs_root;
    bool accepted;
    // Lays out folders below `base`; answers the temporary folder to use.
    std::function<std::string(const std::string& base)> layout;
  } cases[] = {
      {"a parent everyone may write", false, false,
       [](const std::string& base) {
         MakeFolder(base + "/open", 0777);
         MakeFolder(base + "/open/tmp", 0700);
         return base + "/open/tmp";
       }},
      {"a grandparent its group may write", false, false,
       [](const std::string& base) {
         MakeFolder(base + "/open", 0770);
         MakeFolder(base + "/open/mid", 0755);
         MakeFolder(base + "/open/mid/tmp", 0700);
         return base + "/open/mid/tmp";
       }},
      {"a sticky parent everyone may write", false, true,
       [](const std::string& base) {
         MakeFolder(base + "/shared", 01777);
         MakeFolder(base + "/shared/tmp", 0700);
         return base + "/shared/tmp";
       }},
      {"a parent of another user", true, false,
       [](const std::string& base) {
         MakeFolder(base + "/other", 0755);
         MakeFolder(base + "/other/tmp", 0700);
         EXPECT_EQ(chown((base + "/other").c_str(), kOther, kOther), 0);
         return base + "/other/tmp";
       }},
      {"a sticky temporary folder of another user", true, false,
       [](const std::string& base) {
         MakeFolder(base + "/tmp", 01777);
         EXPECT_EQ(chown((base + "/tmp").c_str(), kOther, kOther), 0);
         return base + "/tmp";
       }},
      {"a link of this user", false, true,
       [](const std::string& base) {
         MakeFolder(base + "/real", 0755);
         MakeFolder(base + "/real/tmp", 0700);
         fs::create_directory_symlink(base + "/real/tmp", base + "/link");
         return base + "/link";
       }},
      {"a link of this user into a folder everyone may write", false, false,
       [](const std::string& base) {
         MakeFolder(base + "/open", 0777);
         MakeFolder(base + "/open/tmp", 0700);
         fs::create_directory_symlink(base + "/open/tmp", base + "/link");
         return base + "/link";
       }},
      {"a relative link up and across", false, true,
       [](const std::string& base) {
         MakeFolder(base + "/real", 0755);
         MakeFolder(base + "/real/tmp", 0700);
         MakeFolder(base + "/a", 0755);
         fs::create_directory_symlink("../real/./tmp", base + "/a/link");
         return base + "/a/link";
       }},
      {"a relative link up into a folder everyone may write", false, false,
       [](const std::string& base) {
         MakeFolder(base + "/open", 0777);
         MakeFolder(base + "/open/tmp", 0700);
         MakeFolder(base + "/a", 0755);
         fs::create_directory_symlink("../open/tmp", base + "/a/link");
         return base + "/a/link";
       }},
      {"a link of another user", true, false,
       [](const std::string& base) {
         MakeFolder(base + "/real", 0700);
         fs::create_directory_symlink(base + "/real", base + "/link");
         EXPECT_EQ(lchown((base + "/link").c_str(), kOther, kOther), 0);
         return base + "/link";
       }},
      {"a link of this user to a link of another user", true, false,
       [](const std::string& base) {
         MakeFolder(base + "/real", 0700);
         fs::create_directory_symlink(base + "/real", base + "/theirs");
         EXPECT_EQ(lchown((base + "/theirs").c_str(), kOther, kOther), 0);
         fs::create_directory_symlink("theirs", base + "/link");
         return base + "/link";
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.needs_root && geteuid() != 0) continue;  // only root can hand a file over
    TestFolder base;
    const std::string temp = c.layout(base.path());
    ScopedTmpdir tmpdir(temp);
    const std::string made = temp + "/Maker/Product";
    if (c.accepted) {
      EXPECT_NO_THROW(CreatePrivateFolder(made));
      EXPECT_NO_THROW(OpenPrivateFolder(made, false));
      continue;
    }
    // Made before the chain was changed, or now: neither is used.
    fs::create_directories(made);
    EXPECT_THROW(OpenPrivateFolder(made, false), FileInaccessibleException);
    EXPECT_THROW(CreatePrivateFolder(temp + "/Other/Product"), FileInaccessibleException);
    EXPECT_FALSE(fs::exists(temp + "/Other")) << "nothing was made in it";
  }
}

TEST_F(PrivateFolderTest, OpeningWithoutCreatingMakesNothing) {
  EXPECT_THROW(OpenPrivateFolder(temp_ / "Maker/Product", false), FileBadPathException);
  EXPECT_FALSE(fs::exists(temp_ / "Maker"));
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
