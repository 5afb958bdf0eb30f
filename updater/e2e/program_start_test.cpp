// The updater's executable started the ways a launcher may leave it: with signals ignored
// or blocked, or with too little memory or too low a process limit for its threads. The
// run is in the terminal front end, standard output and error into one file.
//
// The executable's engine asks its compiled-in manifest host; every request goes through
// the proxy in http_proxy (the user's proxy setting), which is the local nginx: nginx serves
// a proxied request for any host from its folder, so nothing leaves 127.0.0.1.

#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "testing/child_process.h"
#include "testing/loopback_port.h"
#include "testing/sanitizers.h"
#include "updater/e2e/e2e_fixture.h"

namespace zarn {
namespace {

using namespace std::chrono_literals;

#if defined(ZARN_ADDRESS_SANITIZER) || defined(ZARN_THREAD_SANITIZER)
// The sanitizers reserve terabytes of shadow memory and start threads of their own.
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

constexpr char kOutOfMemoryLine[] =
    "Orvask Downloader Error: The system is out of memory; are you running too many programs? "
    "Free up some memory and try again.\n";

class ProgramStartTest : public UpdaterRunTest {
 protected:
  // Starts the executable through env with `env_options` (its signal settings), after the
  // commands of `launcher` (prlimit, setpriv), with `proxy` as the proxy of every request
  // and no display.
  std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& env_options,
                                      const std::vector<std::string>& launcher,
                                      const std::string& proxy) {
    std::vector<std::string> argv = {"env"};
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "no_proxy", "NO_PROXY", "HTTP_PROXY"}) {
      argv.insert(argv.end(), {"-u", name});
    }
    argv.insert(argv.end(), env_options.begin(), env_options.end());
    argv.push_back("http_proxy=http://" + proxy);
    argv.insert(argv.end(), launcher.begin(), launcher.end());
    argv.push_back(UPDATER_EXECUTABLE);
    ChildProcess::Options options;
    options.output = folder_ / "out";
    return std::make_unique<ChildProcess>(argv, options);
  }

  // Waits for the program's end; its exit code, or -1 when it did not exit by itself.
  static int ExitCode(ChildProcess& program, std::chrono::seconds limit) {
    const std::optional<int> status = program.Wait(limit);
    if (!status) {
      ADD_FAILURE() << "the program still runs after " << limit.count() << " s";
      program.Kill();
      return -1;
    }
    if (!WIFEXITED(*status)) {
      ADD_FAILURE() << "the program ended by signal " << WTERMSIG(*status);
      return -1;
    }
    return WEXITSTATUS(*status);
  }

  // Whether `text` shows up in the output before `limit` passes.
  bool WaitForOutput(const std::string& text, std::chrono::seconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (folder_.ReadFile("out").find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      std::this_thread::sleep_for(10ms);
    }
    return true;
  }
};

// With SIGCHLD ignored every child is reaped at once, and the wait for the downloader would
// fail although it ran.
TEST_F(ProgramStartTest, StartedWithSigchldIgnoredLaunchesTheDownloader) {
  if (!NginxServer::Available()) GTEST_SKIP() << "nginx is not available";
  NginxServer::Options options;
  options.ports = 2;  // the proxy and one node
  NginxServer nginx(folder_ / "www", options);
  MakePackages({nginx.Host(1)});

  std::unique_ptr<ChildProcess> program = Start({"--ignore-signal=CHLD"}, {}, nginx.Host(0));
  EXPECT_EQ(ExitCode(*program, 120s), 0);
  const std::string out = folder_.ReadFile("out");
  EXPECT_NE(out.find("downloader received: /id " + std::string(kSkinPartner)), std::string::npos)
      << out;
  EXPECT_EQ(out.find("Error"), std::string::npos) << out;
  EXPECT_EQ(folder_.ReadFile("markers/cwd"), DataFolder() + "\n");
}

// Every thread inherits the signal mask: with SIGTERM left blocked, the user's close would
// never reach the dialog.
TEST_F(ProgramStartTest, StartedWithEverySignalBlockedStillClosesOnSigterm) {
  if (!NginxServer::Available()) GTEST_SKIP() << "nginx is not available";
  NginxServer::Options options;
  options.ports = 2;
  options.sendfile = false;
  options.limitRate = "16k";  // through the proxy too: the download lasts many seconds
  NginxServer nginx(folder_ / "www", options);
  MakePackages({nginx.Host(1)});

  std::unique_ptr<ChildProcess> program = Start({"--block-signal"}, {}, nginx.Host(0));
  ASSERT_TRUE(WaitForOutput("Calculating time remaining", 60s)) << folder_.ReadFile("out");
  ASSERT_EQ(kill(program->Pid(), SIGTERM), 0);
  EXPECT_EQ(ExitCode(*program, 60s), 0);
  EXPECT_FALSE(std::filesystem::exists(folder_ / "markers/argv"))
      << "closed, so nothing was launched: " << folder_.ReadFile("out");
}

// A user id that no process uses, nor the password database: the process limit counts
// every process of the real user id, and on many machines several run as nobody.
uid_t UnusedUserId() {
  std::set<uid_t> used;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::ifstream status(entry.path() / "status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("Uid:", 0) == 0) used.insert(std::stoul(line.substr(4)));
    }
  }
  // Far from the ids of accounts, and apart from another run of this test at the same time.
  uid_t id = 100000 + static_cast<uid_t>(getpid()) % 100000;
  while (used.count(id) != 0 || getpwuid(id) != nullptr) ++id;
  return id;
}

// No thread can be started: the out-of-memory message, no dialog, and the exit code 0.
TEST_F(ProgramStartTest, AThreadThatCannotStartShowsTheOutOfMemoryMessage) {
  if (kSanitized) GTEST_SKIP() << "the limits leave no room for the sanitizers themselves";
  // Root is not bound by the process limit: the program then runs as a user of its own, in
  // a temporary folder of that user's.
  const uid_t user = geteuid() == 0 ? UnusedUserId() : geteuid();
  std::vector<std::string> process_limit = {"prlimit", "--nproc=1"};
  if (geteuid() == 0) {
    process_limit.insert(process_limit.end(),
                         {"setpriv", "--reuid=" + std::to_string(user),
                          "--regid=" + std::to_string(user), "--clear-groups"});
  }
  const struct {
    const char* name;
    std::vector<std::string> launcher;
    bool as_user;
  } cases[] = {
      // Every thread's stack is as large as the main thread's may grow: 4 GiB, in 1 GiB of
      // address space.
      {"no room for a thread's stack", {"prlimit", "--stack=4294967296", "--as=1073741824"}, false},
      {"the process limit reached", process_limit, geteuid() == 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.as_user) {
      ASSERT_EQ(chmod(folder_.path().c_str(), 0711), 0);
      ASSERT_EQ(chown((folder_ / "tmp").c_str(), user, user), 0);
    }
    std::unique_ptr<ChildProcess> program =
        Start({}, c.launcher, "127.0.0.1:" + std::to_string(FreePort()));
    EXPECT_EQ(ExitCode(*program, 60s), 0);
    EXPECT_EQ(folder_.ReadFile("out"), kOutOfMemoryLine);
  }
}

// The folder `path` of `owner`, made for the time the object lives, unless something is
// there already; then that is left as it is.
class PlantedFolder {
 public:
  PlantedFolder(const std::string& path, uid_t owner) : path_(path) {
    made_ = mkdir(path.c_str(), 0700) == 0;
    if (made_) {
      EXPECT_EQ(chown(path.c_str(), owner, owner), 0);
    }
  }
  ~PlantedFolder() {
    if (made_) std::filesystem::remove_all(path_);
  }
  PlantedFolder(const PlantedFolder&) = delete;
  PlantedFolder& operator=(const PlantedFolder&) = delete;

 private:
  std::string path_;
  bool made_;
};

// Ordinary setups of a machine with several users, in which the updater downloads both
// packages and launches the downloader. Without TMPDIR it works in the user's cache folder,
// where another user who made the product's folder in /tmp first cannot lock it out; a
// TMPDIR below a folder that the user may pass through but not list (libpam-tmpdir's
// /tmp/user, a /home of 0711) is used; and so it is in a user namespace that maps only the
// user (rootless sandboxes), or nested below one that maps the user to 0, where / and
// /tmp show as the overflow id, for a TMPDIR below a folder of the user's own in /tmp.
TEST_F(ProgramStartTest, RunsForEveryUserOfAnOrdinaryMachine) {
  if (!NginxServer::Available()) GTEST_SKIP() << "nginx is not available";
  NginxServer::Options options;
  options.ports = 2;  // the proxy and one node
  NginxServer nginx(folder_ / "www", options);
  MakePackages({nginx.Host(1)});
  constexpr uid_t kUser = 4242;
  const bool root = geteuid() == 0;
  // Root reads past every mode: the program then runs as kUser, without capabilities.
  std::vector<std::string> as_user;
  if (root) {
    as_user = {"setpriv", "--reuid=" + std::to_string(kUser), "--regid=" + std::to_string(kUser),
               "--clear-groups"};
  }
  std::vector<std::string> in_namespace = as_user;
  in_namespace.insert(in_namespace.end(), {"unshare", "--user", "--map-current-user"});
  // Nested below a namespace that maps the user to 0, as bwrap does for --dev.
  const std::string id = std::to_string(root ? kUser : geteuid());
  const std::string group = std::to_string(root ? kUser : getegid());
  std::vector<std::string> in_nested = as_user;
  in_nested.insert(in_nested.end(), {"unshare", "--user", "--map-root-user", "unshare", "--user",
                                     "--map-user=" + id, "--map-group=" + group});
  const std::string home = folder_ / "home";
  std::filesystem::create_directories(home);
  const struct {
    const char* name;
    bool needs_root;
    bool namespaced;
    std::vector<std::string> env_options;
    std::vector<std::string> launcher;
    std::string data_folder;
  } cases[] = {
      {"TMPDIR unset, another user's product folder in /tmp",
       false,
       false,
       {"-u", "TMPDIR", "-u", "XDG_CACHE_HOME", "HOME=" + home},
       as_user,
       home + "/.cache/Corvane Technologies/Skelmir"},
      {"TMPDIR below a folder the user may pass through but not list",
       true,
       false,
       {},
       as_user,
       DataFolder()},
      {"a user namespace that maps only the user", false, true, {}, in_namespace, DataFolder()},
      {"a nested user namespace", false, true, {}, in_nested, DataFolder()},
  };
  std::string unavailable;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.needs_root && !root) continue;  // only root can make a folder others may not list
    std::filesystem::remove_all(folder_ / "tmp/Corvane Technologies");
    std::filesystem::remove_all(folder_ / "markers/argv");
    if (root) {
      // The test's folder (root's) becomes one that kUser may pass through but not list.
      // In a namespace, a folder of root's in the shared /tmp cannot be told from another
      // user's: there it is kUser's, as a TMPDIR of the user's own in /tmp would be.
      ASSERT_EQ(chown(folder_.path().c_str(), c.namespaced ? kUser : 0, -1), 0);
      ASSERT_EQ(chmod(folder_.path().c_str(), 0711), 0);
      for (const std::string& folder : {folder_ / "tmp", folder_ / "markers", home}) {
        ASSERT_EQ(chown(folder.c_str(), kUser, kUser), 0);
      }
    }
    if (c.namespaced) {
      std::vector<std::string> probe = c.launcher;
      probe.push_back("true");
      ChildProcess tried(probe);
      const std::optional<int> status = tried.Wait(60s);
      if (!status || !WIFEXITED(*status) || WEXITSTATUS(*status) != 0) {
        unavailable = std::string(c.name) + ": unshare fails here";
        continue;
      }
    }
    std::optional<PlantedFolder> planted;
    if (root) planted.emplace("/tmp/Corvane Technologies", 65534);

    std::unique_ptr<ChildProcess> program = Start(c.env_options, c.launcher, nginx.Host(0));
    EXPECT_EQ(ExitCode(*program, 120s), 0);
    const std::string out = folder_.ReadFile("out");
    EXPECT_NE(out.find("Launching Orvask Downloader"), std::string::npos) << out;
    EXPECT_EQ(folder_.ReadFile("markers/cwd"), c.data_folder + "\n") << out;
    EXPECT_TRUE(folder_.ReadFile(c.data_folder.substr(folder_.path().size() + 1) +
                                 "/data/game.pak") == data_)
        << "the data file arrived whole";
  }
  if (!unavailable.empty()) GTEST_SKIP() << "no user namespace here: " << unavailable;
}

}  // namespace
}  // namespace zarn
