// The updater from start to exit in the terminal front end, against nginx on 127.0.0.1.

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <regex>

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
};

TEST_F(TerminalRunTest, DownloadsBothPackagesAndLaunchesTheDownloader) {
  NginxServers nginx(folder_.path(), folder_ / "www", 4, "64k");
  if (!nginx.ok()) GTEST_SKIP() << "nginx is not available";
  MakePackages({nginx.host(1), nginx.host(2), nginx.host(3)});

  ASSERT_EQ(Run(Module(nginx.host(0)), {"packageVersion=3.1", "log=3", "skinVersion=?"}), 0);

  EXPECT_EQ(folder_.ReadFile("markers/argv"),
            "/host\n" + nginx.host(0) + "\n/id\n" + kSkinPartner + "\n/package\n" +
                kShortcutName + "\n/name\nOrvask\n/folder\nOrvask\n/version\n3.1\n/skin\n" +
                kSkinPackage + "/skin.xml\n/log\n3\n");
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
  const std::string message =
      "Orvask Downloader Error: We're having some trouble writing to your disk. Can you make "
      "sure your user account has sufficient permissions and try again?\n";
  const struct {
    const char* name;
    bool binds_root;
    std::function<void(const std::string& temp)> prepare;
  } cases[] = {
      {"temporary folder without write permission", false,
       [](const std::string& temp) { chmod(temp.c_str(), 0500); }},
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

}  // namespace
}  // namespace zarn
