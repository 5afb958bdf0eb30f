// The updater from start to exit in the terminal front end, against nginx on 127.0.0.1.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "testing/loopback_port.h"
#include "updater/e2e/e2e_fixture.h"
#include "updater/transfer_service_impl.h"
#include "updater/ui/queued_dialog_host.h"
#include "updater/ui/terminal_front_end.h"
#include "updater/updater_main.h"
#include "updater/windows_shortcut.h"

namespace zarn {
namespace {

class TerminalRunTest : public UpdaterRunTest {
 protected:
  // Runs the program with `arguments` after argv[0]; its terminal output goes to out/err.
  int Run(const ModuleResources& module, std::vector<std::string> arguments = {}) {
    const int out = open((folder_ / "out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err = open((folder_ / "err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    arguments.insert(arguments.begin(), folder_ / "bin/updater");
    int code;
    {
      ui::QueuedDialogHost host(std::make_unique<ui::TerminalFrontEnd>(out, err, false));
      code = UpdaterMain(arguments, host, module, MakeTransferService);
    }
    close(out);
    close(err);
    return code;
  }

  // Every path below `root`, links not followed, with its owner and mode.
  static std::vector<std::string> Tree(const std::string& root) {
    std::vector<std::string> found;
    for (auto it = std::filesystem::recursive_directory_iterator(root);
         it != std::filesystem::recursive_directory_iterator(); ++it) {
      struct stat status {};
      lstat(it->path().c_str(), &status);
      found.push_back(it->path().lexically_relative(root).string() + " " +
                      std::to_string(status.st_uid) + " " + std::to_string(status.st_mode));
    }
    std::sort(found.begin(), found.end());
    return found;
  }

  // A folder made by another user (nobody) that everyone may write into.
  static void PlantForeignFolder(const std::string& path) {
    std::filesystem::create_directory(path);
    ASSERT_EQ(chmod(path.c_str(), 0777), 0);
    ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
  }

  static constexpr char kDiskWriteMessage[] =
      "Orvask Downloader Error: We're having some trouble writing to your disk. Can you make "
      "sure your user account has sufficient permissions and try again?\n";
};

TEST_F(TerminalRunTest, DownloadsBothPackagesAndLaunchesTheDownloader) {
  if (!NginxServer::Available()) GTEST_SKIP() << "nginx is not available";
  NginxServer nginx(folder_ / "www", ServerOptions());
  MakePackages({nginx.Host(1), nginx.Host(2), nginx.Host(3)});

  ASSERT_EQ(Run(Module(nginx.Host(0)), {"packageVersion=3.1", "log=3", "skinVersion=?"}), 0);

  EXPECT_EQ(folder_.ReadFile("markers/argv"),
            "/host\n" + nginx.Host(0) + "\n/id\n" + kSkinPartner + "\n/package\n" + kShortcutName +
                "\n/name\nOrvask\n/folder\nOrvask\n/version\n3.1\n/skin\n" + kSkinPackage +
                "/skin.xml\n/log\n3\n");
  EXPECT_EQ(folder_.ReadFile("markers/cwd"), DataFolder() + "\n");
  EXPECT_EQ(folder_.ReadFile("tmp/Corvane Technologies/Skelmir/data/game.pak"), data_);
  EXPECT_EQ(folder_.ReadFile(std::string("tmp/Corvane Technologies/Skelmir/") + kSkinPackage +
                             "/skin.xml"),
            "<skin/>");
  EXPECT_EQ(folder_.ReadFile(std::string("tmp/Corvane Technologies/Skelmir/shortcuts/") +
                             kShortcutName + ".url"),
            InternetShortcutBytes(folder_ / "bin/updater"));

  const std::string out = folder_.ReadFile("out");
  EXPECT_EQ(out.rfind("Orvask Downloader\n", 0), 0u) << out;
  EXPECT_NE(out.find("Calculating time remaining"), std::string::npos) << out;
  EXPECT_TRUE(std::regex_search(out, std::regex(R"(\] +[1-9][0-9]*%  )"))) << out;
  EXPECT_NE(out.find("Launching Orvask Downloader"), std::string::npos) << out;
  EXPECT_EQ(folder_.ReadFile("err"), "");
}

TEST_F(TerminalRunTest, NoReachableServerShowsTheNetworkMessageOnce) {
  // Both manifests fail at once, usually in the same pass of the monitor: one message, and
  // the second failure must not reach a locale or window that the teardown releases.
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(Run(Module("127.0.0.1:" + std::to_string(FreePort()))), 0);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(120));
  EXPECT_EQ(folder_.ReadFile("err"),
            "Orvask Downloader Error: We couldn't establish a connection. Could you please "
            "check your connection and try again?\n");
}

TEST_F(TerminalRunTest, AnUnwritableWorkingFolderShowsTheDiskWriteMessage) {
  const std::string message = kDiskWriteMessage;
  const struct {
    const char* name;
    bool binds_root;
    std::function<void(const std::string& temp)> prepare;
  } cases[] = {
      {"temporary folder without write permission", false,
       [](const std::string& temp) { chmod(temp.c_str(), 0500); }},
      {"a temporary folder everyone may write into, without the sticky bit", true,
       [](const std::string& temp) { chmod(temp.c_str(), 0777); }},
      {"a folder above the temporary folder everyone may write into", true,
       [](const std::string& temp) {
         std::filesystem::create_directories(temp + "/open/tmp");
         chmod((temp + "/open").c_str(), 0777);
         setenv("TMPDIR", (temp + "/open/tmp").c_str(), 1);
       }},
      {"a file where the product folder belongs", true,
       [](const std::string& temp) { std::ofstream(temp + "/Corvane Technologies") << "x"; }},
      {"a link planted by someone else", true,
       [this](const std::string& temp) {
         std::filesystem::create_directories(folder_ / "elsewhere");
         std::filesystem::create_directory_symlink(folder_ / "elsewhere",
                                                   temp + "/Corvane Technologies");
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string temp = folder_ / (std::string("tmp-") + std::to_string(&c - cases));
    std::filesystem::create_directories(temp);
    setenv("TMPDIR", temp.c_str(), 1);
    c.prepare(temp);
    if (!c.binds_root && geteuid() == 0) {
      chmod(temp.c_str(), 0700);
      continue;  // permissions do not bind root
    }
    ASSERT_EQ(Run(Module("127.0.0.1:" + std::to_string(FreePort()))), 0);
    EXPECT_EQ(folder_.ReadFile("err"), message);
    // No dialog was shown.
    EXPECT_EQ(folder_.ReadFile("out"), "");
    chmod(temp.c_str(), 0700);
  }
}

// Another local user prepares the working folders in the shared temporary folder before
// the run, to swap the downloader once it is verified. The run must write nothing into
// them, launch nothing, and show the disk-write message.
TEST_F(TerminalRunTest, WorkingFoldersPlantedByAnotherUserAreRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can hand a folder to another user";
  if (!NginxServer::Available()) GTEST_SKIP() << "nginx is not available";
  NginxServer::Options options;
  options.ports = 2;  // the manifest host and one node, unlimited
  NginxServer nginx(folder_ / "www", options);
  MakePackages({nginx.Host(1)});
  const struct {
    const char* name;
    // Plants below the temporary folder `temp`; returns the folder whose tree must stay.
    std::function<std::string(const std::string& temp)> plant;
  } cases[] = {
      {"the whole chain, world-writable",
       [this](const std::string& temp) {
         PlantForeignFolder(temp + "/Corvane Technologies");
         PlantForeignFolder(temp + "/Corvane Technologies/Skelmir");
         PlantForeignFolder(temp + "/Corvane Technologies/Skelmir/" + kSkinPackage);
         return temp + "/Corvane Technologies";
       }},
      {"a link to a folder holding the chain",
       [this](const std::string& temp) {
         const std::string planted = folder_ / "planted";
         PlantForeignFolder(planted);
         PlantForeignFolder(planted + "/Skelmir");
         PlantForeignFolder(planted + "/Skelmir/" + kSkinPackage);
         std::filesystem::create_directory_symlink(planted, temp + "/Corvane Technologies");
         return planted;
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string temp = folder_ / (std::string("tmp-") + std::to_string(&c - cases));
    std::filesystem::create_directories(temp);
    setenv("TMPDIR", temp.c_str(), 1);
    const std::string planted = c.plant(temp);
    const std::vector<std::string> before = Tree(planted);

    ASSERT_EQ(Run(Module(nginx.Host(0))), 0);
    EXPECT_EQ(folder_.ReadFile("err"), kDiskWriteMessage);
    EXPECT_EQ(folder_.ReadFile("out"), "");
    EXPECT_EQ(Tree(planted), before) << "nothing was written into the planted folders";
    EXPECT_FALSE(std::filesystem::exists(folder_ / "markers/argv")) << "nothing ran";
  }
}

// In a temporary folder shared as /tmp is (mode 1777).
TEST_F(TerminalRunTest, FoldersOfTheUserWithMode0755InASharedStickyTemporaryFolderAreUsed) {
  if (!NginxServer::Available()) GTEST_SKIP() << "nginx is not available";
  NginxServer::Options options;
  options.ports = 2;  // the manifest host and one node, unlimited
  NginxServer nginx(folder_ / "www", options);
  MakePackages({nginx.Host(1)});
  const std::string skin = DataFolder() + "/" + kSkinPackage;
  std::filesystem::create_directories(skin);
  for (const std::string& folder : {folder_ / "tmp/Corvane Technologies", DataFolder(), skin}) {
    ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
  }
  ASSERT_EQ(chmod((folder_ / "tmp").c_str(), 01777), 0);

  ASSERT_EQ(Run(Module(nginx.Host(0))), 0);
  EXPECT_EQ(folder_.ReadFile("err"), "");
  EXPECT_EQ(folder_.ReadFile("tmp/Corvane Technologies/Skelmir/data/game.pak"), data_);
  EXPECT_EQ(folder_.ReadFile("markers/cwd"), DataFolder() + "\n");
}

// Started with umask 000 into the user's existing data folder (0755): nothing the run
// makes, the run file made executable included, may be rewritten by another user.
TEST_F(TerminalRunTest, UnderUmask000NothingItMakesIsWritableByOthers) {
  if (!NginxServer::Available()) GTEST_SKIP() << "nginx is not available";
  NginxServer::Options options;
  options.ports = 2;  // the manifest host and one node, unlimited
  NginxServer nginx(folder_ / "www", options);
  MakePackages({nginx.Host(1)});
  std::filesystem::create_directories(DataFolder());
  for (const std::string& folder : {folder_ / "tmp/Corvane Technologies", DataFolder()}) {
    ASSERT_EQ(chmod(folder.c_str(), 0755), 0);
  }

  {
    ScopedUmask umask(0);
    ASSERT_EQ(Run(Module(nginx.Host(0))), 0);
  }
  ASSERT_EQ(folder_.ReadFile("err"), "");
  ASSERT_TRUE(std::filesystem::exists(folder_ / "markers/argv")) << "the downloader ran";

  std::map<std::string, mode_t> modes;  // below the data folder, links not followed
  for (const auto& entry : std::filesystem::recursive_directory_iterator(DataFolder())) {
    struct stat status {};
    ASSERT_EQ(lstat(entry.path().c_str(), &status), 0);
    const std::string name = entry.path().lexically_relative(DataFolder()).string();
    modes[name] = status.st_mode & 07777;
    EXPECT_EQ(status.st_mode & 022, 0u) << name << " " << std::oct << (status.st_mode & 07777);
  }
  const auto has = [&](const std::string& pattern) {
    const std::regex re(pattern);
    return std::any_of(modes.begin(), modes.end(),
                       [&](const auto& m) { return std::regex_match(m.first, re); });
  };
  EXPECT_EQ(modes["Downloader.exe"], 0755u) << "executable, written by its owner only";
  EXPECT_EQ(modes["data/game.pak"], 0644u);
  EXPECT_EQ(modes["data"], 0755u);
  EXPECT_EQ(modes[std::string("shortcuts/") + kShortcutName + ".url"], 0644u);
  EXPECT_TRUE(has(R"(logs/Log\..*\.txt)")) << "a log was written and checked";
  EXPECT_TRUE(has(R"(transfers/[0-9a-f]{32}\.json)")) << "a stored transfer was checked";
}

// Links planted inside the user's own data folder are never followed: nothing is written
// where they lead, nothing is launched, and the user sees the disk-write message.
TEST_F(TerminalRunTest, LinksInsideTheDataFolderAreNotFollowed) {
  if (!NginxServer::Available()) GTEST_SKIP() << "nginx is not available";
  NginxServer::Options options;
  options.ports = 2;  // the manifest host and one node, unlimited
  NginxServer nginx(folder_ / "www", options);
  MakePackages({nginx.Host(1)});
  const struct {
    const char* link;
    const char* target;  // below elsewhere/
  } cases[] = {
      {"data", ""},                          // a folder link
      {"Downloader.exe", "Downloader.exe"},  // a dangling file link
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.link);
    std::filesystem::remove_all(folder_ / "tmp/Corvane Technologies");
    std::filesystem::remove_all(folder_ / "elsewhere");
    std::filesystem::create_directories(DataFolder());
    std::filesystem::create_directories(folder_ / "elsewhere");
    std::filesystem::create_symlink(folder_ / "elsewhere" + (*c.target ? "/" : "") + c.target,
                                    DataFolder() + "/" + c.link);

    ASSERT_EQ(Run(Module(nginx.Host(0))), 0);
    EXPECT_NE(folder_.ReadFile("err").find(kDiskWriteMessage), std::string::npos)
        << folder_.ReadFile("err");
    EXPECT_TRUE(std::filesystem::is_empty(folder_ / "elsewhere"));
    EXPECT_FALSE(std::filesystem::exists(folder_ / "markers/argv")) << "nothing ran";
  }
}

// A TMPDIR that is missing, names a file or is relative gives the user's cache folder,
// never the folder the program was started from.
TEST_F(TerminalRunTest, AnUnusableTmpdirCreatesNothingInTheWorkingFolder) {
  const std::string work = folder_ / "work";
  std::filesystem::create_directories(work + "/tmp");
  std::filesystem::create_directories(folder_ / "home");
  folder_.WriteFile("work/plain", "x");
  const std::vector<std::string> before = Tree(work);
  ScopedVariable home("HOME", folder_ / "home");
  ScopedVariable cache("XDG_CACHE_HOME", std::nullopt);
  const std::string previous = std::filesystem::current_path();
  ASSERT_EQ(chdir(work.c_str()), 0);
  for (const std::string& tmpdir : {folder_ / "missing", work + "/plain", std::string("tmp")}) {
    SCOPED_TRACE(tmpdir);
    setenv("TMPDIR", tmpdir.c_str(), 1);
    ASSERT_EQ(Run(Module("127.0.0.1:" + std::to_string(FreePort()))), 0);
    EXPECT_EQ(Tree(work), before) << "nothing new below the working folder";
    EXPECT_TRUE(
        std::filesystem::is_directory(folder_ / "home/.cache/Corvane Technologies/Skelmir"));
    std::filesystem::remove_all(folder_ / "home/.cache");
  }
  ASSERT_EQ(chdir(previous.c_str()), 0);
}

}  // namespace
}  // namespace zarn
