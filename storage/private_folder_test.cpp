#include "storage/private_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "storage/file_exception.h"
#include "storage/path_helpers.h"
#include "storage/testing/in_child.h"
#include "storage/testing/test_folder.h"

namespace zarn {
namespace {

namespace fs = std::filesystem;

// The overflow gid, a group that never counts as anyone's private group: a folder of this
// group that its group may write is open to others.
constexpr gid_t kSharedGroup = 65534;

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
      {"group-writable", true,
       [](const std::string& planted) {
         fs::create_directory(planted);
         chmod(planted.c_str(), 0770);
         ASSERT_EQ(chown(planted.c_str(), -1, kSharedGroup), 0);
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
  // Only root can give the folder a group that is not the test's own, which may be private.
  const bool shared_group = geteuid() == 0 && chown(temp_.path().c_str(), -1, kSharedGroup) == 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << std::oct << c.mode);
    if (!shared_group && (c.mode & 0022) == 0020) continue;
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

// Hands `path` and everything below it, links not followed, to `user`; groups stay.
void GiveTo(const std::string& path, uid_t user) {
  ASSERT_EQ(lchown(path.c_str(), user, -1), 0) << path;
  for (const auto& entry : fs::recursive_directory_iterator(path)) {
    ASSERT_EQ(lchown(entry.path().c_str(), user, -1), 0) << entry.path();
  }
}

void Own(const std::string& path, uid_t user, gid_t group) {
  ASSERT_EQ(lchown(path.c_str(), user, group), 0) << path;
}

// What `walk` threw: "" when it returned.
std::string Thrown(const std::function<void()>& walk) {
  try {
    walk();
    return "";
  } catch (const FileInaccessibleException&) {
    return "inaccessible";
  } catch (const FileBadPathException&) {
    return "bad path";
  } catch (const std::exception& e) {
    return std::string("another exception: ") + e.what();
  }
}

// The product's folders below an accepted temporary folder are made and opened, and the
// folder opened is the one the kernel finds at `made`. "" or what went wrong.
std::string CheckAccepted(const std::string& made) {
  std::string result;
  std::string thrown = Thrown([&] { CreatePrivateFolder(made); });
  if (!thrown.empty()) return "creating: " + thrown;
  thrown = Thrown([&] {
    const FolderDescriptor folder = OpenPrivateFolder(made, false);
    struct stat walked {
    }, resolved{};
    if (fstat(folder.get(), &walked) != 0 || stat(made.c_str(), &resolved) != 0 ||
        walked.st_dev != resolved.st_dev || walked.st_ino != resolved.st_ino) {
      result = "opened another folder than the kernel finds at " + made;
    }
  });
  return thrown.empty() ? result : "opening: " + thrown;
}

// Below a refused temporary folder, neither the product's folders made before (`made`) nor
// new ones are used, and nothing is made. "" or what went wrong.
std::string CheckRefused(const std::string& temp, const std::string& made) {
  std::string thrown = Thrown([&] { OpenPrivateFolder(made, false); });
  if (thrown != "inaccessible") return "opening: " + (thrown.empty() ? "accepted" : thrown);
  thrown = Thrown([&] { CreatePrivateFolder(temp + "/Other/Product"); });
  if (thrown != "inaccessible") return "creating: " + (thrown.empty() ? "accepted" : thrown);
  std::error_code error;
  if (fs::exists(temp + "/Other", error)) return "something was made in it";
  return "";
}

// Who walks the chain: this process, or a child as kUser, who has no capability to read
// past modes as the root a suite may run as has; in a user namespace that maps only
// itself, as rootless sandboxes do, or in one nested below a namespace that maps it to 0,
// as bwrap does, the child is kUser when the suite runs as root. With test accounts, the
// child as kUser sees kTestPasswd and kTestGroup as the account database. A namespace may
// also map another user, kShownAsOverflow, to the overflow id.
enum class Walker {
  kThisProcess,
  kAnotherUser,
  kUserNamespace,
  kNestedUserNamespace,
  kNamespaceMappingAnother,
  kUserWithTestAccounts
};
constexpr uid_t kUser = 4242;
constexpr uid_t kOther = 65534;
constexpr uid_t kShownAsOverflow = 4347;
constexpr gid_t kUserGroup = 4242;     // kUser's private group
constexpr gid_t kOtherGroup = 4343;    // the private group of another account
constexpr gid_t kOwnerOnly = 4344;     // no account's primary group, only kUser a member
constexpr gid_t kTeam = 4345;          // kUser and another account are members
constexpr gid_t kUnknownGroup = 4346;  // not in the database
constexpr char kTestPasswd[] =
    "root:x:0:0:root:/root:/bin/sh\n"
    "zarn-user:x:4242:4242::/:/bin/sh\n"
    "zarn-other:x:4343:4343::/:/bin/sh\n";
constexpr char kTestGroup[] =
    "root:x:0:\n"
    "zarn-user:x:4242:\n"
    "zarn-other:x:4343:\n"
    "zarn-owner-only:x:4344:zarn-user\n"
    "zarn-team:x:4345:zarn-user,zarn-other\n";

bool Namespaced(Walker walker) {
  return walker == Walker::kUserNamespace || walker == Walker::kNestedUserNamespace ||
         walker == Walker::kNamespaceMappingAnother;
}

// Becomes `walker` in a child; "" or what failed.
std::string Enter(Walker walker) {
  if (walker == Walker::kNamespaceMappingAnother) {
    if (geteuid() != 0) return "only root maps another user";
    const std::string user = std::to_string(kUser);
    return EnterUserNamespaceWithMaps(
        kUser, user + " " + user + " 1\n65534 " + std::to_string(kShownAsOverflow) + " 1\n",
        user + " " + user + " 1\n");
  }
  std::string failed;
  if (walker == Walker::kUserWithTestAccounts) {
    // nscd would answer from the machine's database.
    if (access("/var/run/nscd/socket", F_OK) == 0) return "nscd answers account lookups";
    failed = ShowFileAt("/etc/passwd", kTestPasswd);
    if (failed.empty()) failed = ShowFileAt("/etc/group", kTestGroup);
  }
  if (failed.empty() && geteuid() == 0) failed = BecomeUser(kUser);
  if (failed.empty() && walker == Walker::kUserNamespace) failed = EnterUserNamespace();
  if (failed.empty() && walker == Walker::kNestedUserNamespace) {
    failed = EnterNestedUserNamespace();
  }
  return failed;
}

// Runs `check` as `walker`; "" or what went wrong, or `unavailable` set for a namespace
// or a test database that the kernel does not allow here.
std::string WalkAs(Walker walker, const std::function<std::string()>& check,
                   std::string* unavailable) {
  if (walker == Walker::kThisProcess) return check();
  if (walker != Walker::kAnotherUser) {
    *unavailable = RunInChild([walker] { return Enter(walker); });
    if (!unavailable->empty()) return "";
  }
  return RunInChild([&] {
    const std::string failed = Enter(walker);
    return failed.empty() ? check() : "entering: " + failed;
  });
}

// Layouts below `base` that answer the temporary folder: a folder reached through a link,
// both of whoever lays them out (root, seen from a namespace); and that folder reached
// through another user's link in a folder everyone may write.
std::string LinkedFolder(const std::string& base) {
  MakeFolder(base + "/real", 0755);
  MakeFolder(base + "/real/tmp", 0700);
  fs::create_directory_symlink(base + "/real/tmp", base + "/link");
  return base + "/link";
}

std::string AnotherUsersLinkInAStickyFolder(const std::string& base) {
  const std::string link = LinkedFolder(base);
  MakeFolder(base + "/shared", 01777);
  fs::rename(link, base + "/shared/link");
  EXPECT_EQ(lchown((base + "/shared/link").c_str(), kOther, kOther), 0);
  return base + "/shared/link";
}

// Whoever may change a folder above the temporary folder, or a link on the way to it, can
// swap the whole chain below it. Every folder from the root down passes the rule of a
// shared temporary folder (root's or this user's; writable by others only with the sticky
// bit), and a link is followed only when root or this user owns it, its target checked the
// same way. The folders need only let the user pass, as reaching the path does; the walk
// resolves `.`, `..` and links as the kernel does.
TEST_F(PrivateFolderTest, EveryFolderAboveTheTemporaryFolderPassesTheSameRule) {
  const struct {
    const char* name;
    bool needs_root;
    Walker walker;
    bool accepted;
    // Lays out folders below `base`; answers the temporary folder to use.
    std::function<std::string(const std::string& base)> layout;
  } cases[] = {
      {"a parent everyone may write", false, Walker::kThisProcess, false,
       [](const std::string& base) {
         MakeFolder(base + "/open", 0777);
         MakeFolder(base + "/open/tmp", 0700);
         return base + "/open/tmp";
       }},
      {"a grandparent its group may write", true, Walker::kThisProcess, false,
       [](const std::string& base) {
         MakeFolder(base + "/open", 0770);
         EXPECT_EQ(chown((base + "/open").c_str(), -1, kSharedGroup), 0);
         MakeFolder(base + "/open/mid", 0755);
         MakeFolder(base + "/open/mid/tmp", 0700);
         return base + "/open/mid/tmp";
       }},
      {"a sticky parent everyone may write", false, Walker::kThisProcess, true,
       [](const std::string& base) {
         MakeFolder(base + "/shared", 01777);
         MakeFolder(base + "/shared/tmp", 0700);
         return base + "/shared/tmp";
       }},
      {"a parent of another user", true, Walker::kThisProcess, false,
       [](const std::string& base) {
         MakeFolder(base + "/other", 0755);
         MakeFolder(base + "/other/tmp", 0700);
         EXPECT_EQ(chown((base + "/other").c_str(), kOther, kOther), 0);
         return base + "/other/tmp";
       }},
      {"a sticky temporary folder of another user", true, Walker::kThisProcess, false,
       [](const std::string& base) {
         MakeFolder(base + "/tmp", 01777);
         EXPECT_EQ(chown((base + "/tmp").c_str(), kOther, kOther), 0);
         return base + "/tmp";
       }},
      {"a link of this user", false, Walker::kThisProcess, true, LinkedFolder},
      {"a link of this user into a folder everyone may write", false, Walker::kThisProcess, false,
       [](const std::string& base) {
         MakeFolder(base + "/open", 0777);
         MakeFolder(base + "/open/tmp", 0700);
         fs::create_directory_symlink(base + "/open/tmp", base + "/link");
         return base + "/link";
       }},
      {"a relative link up and across", false, Walker::kThisProcess, true,
       [](const std::string& base) {
         MakeFolder(base + "/real", 0755);
         MakeFolder(base + "/real/tmp", 0700);
         MakeFolder(base + "/a", 0755);
         fs::create_directory_symlink("../real/./tmp", base + "/a/link");
         return base + "/a/link";
       }},
      {"a relative link up into a folder everyone may write", false, Walker::kThisProcess, false,
       [](const std::string& base) {
         MakeFolder(base + "/open", 0777);
         MakeFolder(base + "/open/tmp", 0700);
         MakeFolder(base + "/a", 0755);
         fs::create_directory_symlink("../open/tmp", base + "/a/link");
         return base + "/a/link";
       }},
      {"a link of another user", true, Walker::kThisProcess, false,
       [](const std::string& base) {
         MakeFolder(base + "/real", 0700);
         fs::create_directory_symlink(base + "/real", base + "/link");
         EXPECT_EQ(lchown((base + "/link").c_str(), kOther, kOther), 0);
         return base + "/link";
       }},
      {"a link of this user to a link of another user", true, Walker::kThisProcess, false,
       [](const std::string& base) {
         MakeFolder(base + "/real", 0700);
         fs::create_directory_symlink(base + "/real", base + "/theirs");
         EXPECT_EQ(lchown((base + "/theirs").c_str(), kOther, kOther), 0);
         fs::create_directory_symlink("theirs", base + "/link");
         return base + "/link";
       }},
      // At the root, ".." stays at the root, as the kernel has it.
      {"\"..\" at the root", false, Walker::kThisProcess, true,
       [](const std::string& base) {
         MakeFolder(base + "/tmp", 0700);
         return "/../.." + base + "/tmp";
       }},
      {"a relative link that climbs past the root", false, Walker::kThisProcess, true,
       [](const std::string& base) {
         MakeFolder(base + "/real", 0755);
         MakeFolder(base + "/real/tmp", 0700);
         fs::create_directory_symlink("../../../../../../../../.." + base + "/real/tmp",
                                      base + "/link");
         return base + "/link";
       }},
      {"\".\" before \"..\"", false, Walker::kThisProcess, true,
       [](const std::string& base) {
         MakeFolder(base + "/sub", 0755);
         MakeFolder(base + "/tmp", 0700);
         return base + "/sub/./../tmp";
       }},
      // A home folder that is a link to where the space is: the link goes first, the rest
      // of the path below its target.
      {"a link in the middle of the path", false, Walker::kThisProcess, true,
       [](const std::string& base) {
         MakeFolder(base + "/data", 0755);
         MakeFolder(base + "/data/home", 0755);
         MakeFolder(base + "/data/home/tmp", 0700);
         fs::create_directory_symlink("data/home", base + "/home");
         return base + "/home/tmp";
       }},
      // Debian's libpam-tmpdir: /tmp/user of root, 0711, and /tmp/user/<uid>, 0700.
      {"a parent the user may pass through but not list", true, Walker::kAnotherUser, true,
       [](const std::string& base) {
         MakeFolder(base + "/user", 0711);
         MakeFolder(base + "/user/tmp", 0700);
         return base + "/user/tmp";
       }},
      {"a parent the user may pass through and everyone may write", true, Walker::kAnotherUser,
       false,
       [](const std::string& base) {
         MakeFolder(base + "/user", 0733);
         MakeFolder(base + "/user/tmp", 0700);
         return base + "/user/tmp";
       }},
      {"root's folders and links in a user namespace without root", false, Walker::kUserNamespace,
       true, LinkedFolder},
      {"a parent everyone may write in a user namespace without root", false,
       Walker::kUserNamespace, false,
       [](const std::string& base) {
         MakeFolder(base + "/open", 0777);
         MakeFolder(base + "/open/tmp", 0700);
         return base + "/open/tmp";
       }},
      // There, root's entries and those of every other user show as the same overflow
      // id: in a folder others may write, such as /tmp, only the user's own are used.
      {"this user's folder in a sticky folder in a user namespace without root", true,
       Walker::kUserNamespace, true,
       [](const std::string& base) {
         MakeFolder(base + "/shared", 01777);
         MakeFolder(base + "/shared/tmp", 0700);
         return base + "/shared/tmp";
       }},
      {"another user's link in a sticky folder in a user namespace without root", true,
       Walker::kUserNamespace, false, AnotherUsersLinkInAStickyFolder},
      {"another user's folder in a sticky folder in a user namespace without root", true,
       Walker::kUserNamespace, false,
       [](const std::string& base) {
         MakeFolder(base + "/shared", 01777);
         MakeFolder(base + "/shared/theirs", 0755);
         MakeFolder(base + "/shared/theirs/tmp", 0700);
         EXPECT_EQ(chown((base + "/shared/theirs").c_str(), kOther, kOther), 0);
         return base + "/shared/theirs/tmp";
       }},
      // Nested below a namespace that maps the user to 0, uid_map reads "UID 0 1".
      {"root's folders and links in a nested user namespace without root", false,
       Walker::kNestedUserNamespace, true, LinkedFolder},
      {"another user's link in a sticky folder in a nested user namespace without root", true,
       Walker::kNestedUserNamespace, false, AnotherUsersLinkInAStickyFolder},
      // Where the namespace maps a user to the overflow id, that id is not root's.
      {"a folder of a user the namespace shows as the overflow id", true,
       Walker::kNamespaceMappingAnother, false,
       [](const std::string& base) {
         MakeFolder(base + "/theirs", 0755);
         MakeFolder(base + "/theirs/tmp", 0700);
         EXPECT_EQ(chown((base + "/theirs").c_str(), kShownAsOverflow, kShownAsOverflow), 0);
         return base + "/theirs/tmp";
       }},
      // A umask of 002 with user private groups: a home of 0775, a cache folder of 2775.
      {"folders on the way that the owner's private group may write", true,
       Walker::kUserWithTestAccounts, true,
       [](const std::string& base) {
         MakeFolder(base + "/home", 0775);
         Own(base + "/home", kUser, kUserGroup);
         MakeFolder(base + "/home/.cache", 02775);
         Own(base + "/home/.cache", kUser, kUserGroup);
         return base + "/home/.cache";
       }},
      {"a working folder that the owner's private group may write", true,
       Walker::kUserWithTestAccounts, true,
       [](const std::string& base) {
         MakeFolder(base + "/tmp", 0700);
         MakeFolder(base + "/tmp/Maker", 0770);
         Own(base + "/tmp/Maker", kUser, kUserGroup);
         return base + "/tmp";
       }},
      {"a folder writable by a group that lists only the owner", true,
       Walker::kUserWithTestAccounts, true,
       [](const std::string& base) {
         MakeFolder(base + "/tmp", 0770);
         Own(base + "/tmp", kUser, kOwnerOnly);
         return base + "/tmp";
       }},
      {"a parent writable by a group with another member", true, Walker::kUserWithTestAccounts,
       false,
       [](const std::string& base) {
         MakeFolder(base + "/home", 0775);
         Own(base + "/home", kUser, kTeam);
         MakeFolder(base + "/home/tmp", 0700);
         return base + "/home/tmp";
       }},
      {"a folder writable by another account's primary group", true, Walker::kUserWithTestAccounts,
       false,
       [](const std::string& base) {
         MakeFolder(base + "/tmp", 0770);
         Own(base + "/tmp", kUser, kOtherGroup);
         return base + "/tmp";
       }},
      {"a folder writable by a group the database does not know", true,
       Walker::kUserWithTestAccounts, false,
       [](const std::string& base) {
         MakeFolder(base + "/tmp", 02775);
         Own(base + "/tmp", kUser, kUnknownGroup);
         return base + "/tmp";
       }},
      {"a folder of root writable by the overflow group", true, Walker::kUserWithTestAccounts,
       false,
       [](const std::string& base) {
         MakeFolder(base + "/shared", 0775);
         Own(base + "/shared", 0, kSharedGroup);
         MakeFolder(base + "/shared/tmp", 0700);
         return base + "/shared/tmp";
       }},
  };
  std::string unavailable;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.needs_root && geteuid() != 0) continue;  // only root can hand a file over
    TestFolder base;
    const std::string temp = c.layout(base.path());
    ScopedTmpdir tmpdir(temp);
    const std::string made = temp + "/Maker/Product";
    if (!c.accepted) fs::create_directories(made);  // made before the chain was changed
    if (c.walker != Walker::kThisProcess && geteuid() == 0) {
      for (const std::string& folder : {temp_.path(), base.path()}) {  // base is in temp_
        ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
      }
      // In a namespace, root's folder in the shared /tmp could be anyone's: the test's
      // folder there is the user's, as a TMPDIR of the user's own in /tmp would be.
      ASSERT_EQ(lchown(temp_.path().c_str(), Namespaced(c.walker) ? kUser : 0, -1), 0);
      GiveTo(fs::canonical(temp), kUser);
    }
    std::string skipped;
    EXPECT_EQ(
        WalkAs(
            c.walker, [&] { return c.accepted ? CheckAccepted(made) : CheckRefused(temp, made); },
            &skipped),
        "");
    if (!skipped.empty()) unavailable = skipped;
  }
  if (!unavailable.empty()) GTEST_SKIP() << "not possible here: " << unavailable;
}

// Without TMPDIR the working folders are the user's own, in the user's cache folder, made
// when missing: another user who made the product's folder in /tmp first locks nobody out.
TEST_F(PrivateFolderTest, WithoutTmpdirTheWorkingFoldersAreInTheUsersCacheFolder) {
  const std::string home = elsewhere_.path();
  ScopedVariable tmpdir("TMPDIR", std::nullopt);
  ScopedVariable cache("XDG_CACHE_HOME", std::nullopt);
  ScopedVariable home_variable("HOME", home);
  // A maker's folder of another user, where the shared /tmp would put it.
  TestFolder planted_in_tmp;
  const std::string maker = fs::path(planted_in_tmp.path()).filename();
  if (geteuid() == 0) {
    ASSERT_EQ(chown(planted_in_tmp.path().c_str(), 65534, 65534), 0);
  }

  const std::string made = JoinPath(GetTempFolder(), maker + "/Product");
  EXPECT_EQ(Thrown([&] { CreatePrivateFolder(made); }), "");
  EXPECT_TRUE(fs::is_directory(home + "/.cache/" + maker + "/Product"));
  EXPECT_EQ(ModeOf(home + "/.cache"), 0700u);
  EXPECT_TRUE(fs::is_empty(planted_in_tmp.path()));
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
