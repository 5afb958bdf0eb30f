#include "updater/posix_process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <system_error>
#include <thread>
#include <vector>

#include "updater/file_helpers.h"
#include "updater/windows_command_line.h"

extern char** environ;

namespace zarn {

namespace {

// posix_spawn attributes and file actions, released on every path.
class SpawnSetup {
 public:
  SpawnSetup() {
    ok_ = posix_spawnattr_init(&attributes_) == 0;
    ok_ = posix_spawn_file_actions_init(&actions_) == 0 && ok_;
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions_);
    posix_spawnattr_destroy(&attributes_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  bool Prepare(const std::string& directory) {
    if (!ok_) return false;
    // Signals that this process ignores or blocks must not reach the child that way.
    sigset_t defaults, empty;
    sigemptyset(&empty);
    sigemptyset(&defaults);
    for (int s : {SIGPIPE, SIGXFSZ, SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGCHLD}) {
      sigaddset(&defaults, s);
    }
    return posix_spawnattr_setflags(&attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF) ==
               0 &&
           posix_spawnattr_setsigmask(&attributes_, &empty) == 0 &&
           posix_spawnattr_setsigdefault(&attributes_, &defaults) == 0 &&
           posix_spawn_file_actions_addclosefrom_np(&actions_, 3) == 0 &&
           (directory.empty() ||
            posix_spawn_file_actions_addchdir_np(&actions_, directory.c_str()) == 0);
  }

  const posix_spawnattr_t* attributes() const { return &attributes_; }
  const posix_spawn_file_actions_t* actions() const { return &actions_; }

 private:
  bool ok_ = false;
  posix_spawnattr_t attributes_;
  posix_spawn_file_actions_t actions_;
};

bool WaitForExit(pid_t child) {
  int status = 0;
  for (;;) {
    if (waitpid(child, &status, 0) == child) return true;
    if (errno != EINTR) return false;
  }
}

}  // namespace

bool PosixProcess::Launch(bool wait, const std::string& parameters, const std::string& directory) {
  try {
    const std::string folder = directory.empty() ? ParentFolder(path_) : directory;
    std::vector<std::string> arguments = SplitCommandLine(parameters);
    arguments.insert(arguments.begin(), path_);
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);

    SpawnSetup setup;
    if (!setup.Prepare(folder)) return false;
    pid_t child = 0;
    // glibc reports a failed exec (missing file, no permission, not a program) here.
    if (posix_spawn(&child, path_.c_str(), setup.actions(), setup.attributes(), argv.data(),
                    environ) != 0) {
      return false;
    }
    if (wait) return WaitForExit(child);
    try {
      std::thread([child] { WaitForExit(child); }).detach();
    } catch (const std::system_error&) {
      // It has started all the same; unreaped, it stays a zombie until this process ends.
    }
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace zarn
