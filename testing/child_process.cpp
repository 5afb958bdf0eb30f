#include "testing/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace zarn {
namespace {

// The executable that execv would run for `program`: itself when it names a path,
// otherwise the first match in PATH; "" when there is none.
std::string ResolveProgram(const std::string& program) {
  if (program.find('/') != std::string::npos) {
    return ::access(program.c_str(), X_OK) == 0 ? program : "";
  }
  const char* path = ::getenv("PATH");
  std::istringstream folders(path ? path : "/usr/local/bin:/usr/bin:/bin");
  for (std::string folder; std::getline(folders, folder, ':');) {
    const std::string candidate = (folder.empty() ? "." : folder) + "/" + program;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return "";
}

// Runs in the forked child: async-signal-safe calls only, then exec.
[[noreturn]] void Exec(const std::string& file, char* const argv[], const char* output, int keepFd,
                       pid_t parent) {
  ::setpgid(0, 0);
  ::prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (::getppid() != parent) ::_exit(127);  // the owner died before the line above
  const int out = ::open(output, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out >= 0) {
    ::dup2(out, 1);
    ::dup2(out, 2);
  }
  const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (devNull >= 0) ::dup2(devNull, 0);
  if (keepFd > 2) {
    ::close_range(3, static_cast<unsigned>(keepFd) - 1, 0);
    ::close_range(static_cast<unsigned>(keepFd) + 1, ~0u, 0);
    ::fcntl(keepFd, F_SETFD, 0);
  } else {
    ::close_range(3, ~0u, 0);
  }
  ::execv(file.c_str(), argv);
  ::_exit(127);
}

}  // namespace

bool ProgramAvailable(const std::string& program) { return !ResolveProgram(program).empty(); }

ChildProcess::ChildProcess(const std::vector<std::string>& argv) : ChildProcess(argv, Options()) {}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const Options& options) {
  if (argv.empty()) throw std::invalid_argument("ChildProcess: no program");
  const std::string file = ResolveProgram(argv[0]);
  if (file.empty()) throw std::runtime_error("ChildProcess: cannot run " + argv[0]);
  std::vector<std::string> copy = argv;
  std::vector<char*> args;
  for (std::string& arg : copy) args.push_back(arg.data());
  args.push_back(nullptr);
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error(std::string("ChildProcess: fork: ") + std::strerror(errno));
  if (pid == 0) Exec(file, args.data(), options.output.c_str(), options.keepFd, parent);
  ::setpgid(pid, pid);  // also here, so that Stop reaches the group whoever runs first
  pid_ = pid;
}

ChildProcess::~ChildProcess() { Stop(); }

bool ChildProcess::Reap(int options, rusage* usage) {
  if (status_) return true;
  int status = 0;
  rusage ignored{};
  pid_t done;
  do {
    done = ::wait4(pid_, &status, options, usage ? usage : &ignored);
  } while (done < 0 && errno == EINTR);
  if (done == 0) return false;
  status_ = done == pid_ ? status : -1;  // -1: not ours to wait for any more
  return true;
}

bool ChildProcess::Running() { return pid_ > 0 && !Reap(WNOHANG, nullptr); }

std::optional<int> ChildProcess::Wait(std::chrono::milliseconds timeout, rusage* usage) {
  if (pid_ <= 0) return status_;
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!Reap(WNOHANG, usage)) {
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return status_;
}

void ChildProcess::Stop(int signal) {
  if (pid_ <= 0 || status_) return;
  ::kill(-pid_, signal);
  if (!Wait(std::chrono::seconds(10))) {
    ::kill(-pid_, SIGKILL);
    Reap(0, nullptr);
  }
}

void ChildProcess::Stop() { Stop(SIGTERM); }
void ChildProcess::Kill() { Stop(SIGKILL); }

}  // namespace zarn
