#include "storage/testing/in_child.h"

#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>

namespace zarn {
namespace {

// What failed, with the error number of the call that failed.
std::string Failed(const std::string& what, int error) {
  return what + ": " + std::strerror(error);
}

// The same for `call`, which just failed: errno is taken before anything may change it.
std::string Failed(const char* call) {
  const int error = errno;
  return Failed(std::string(call), error);
}

std::string WriteFile(const std::string& path, const std::string& text) {
  const int fd = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    return Failed("open " + path, error);
  }
  const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  const int error = errno;
  std::string result = written ? "" : Failed("write " + path, error);
  close(fd);
  return result;
}

[[noreturn]] void RunAndExit(const std::function<std::string()>& body, int out) {
  std::string result;
  try {
    result = body();
  } catch (const std::exception& e) {
    result = std::string("exception: ") + e.what();
  } catch (...) {
    result = "an exception";
  }
  const bool written =
      write(out, result.data(), result.size()) == static_cast<ssize_t>(result.size());
  _exit(written ? 0 : 1);
}

}  // namespace

std::string RunInChild(const std::function<std::string()>& body) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return Failed("pipe");
  const pid_t child = fork();
  if (child < 0) {
    const std::string failed = Failed("fork");
    close(fds[0]);
    close(fds[1]);
    return failed;
  }
  if (child == 0) {
    close(fds[0]);
    alarm(60);  // the child's deadline: SIGALRM ends it
    RunAndExit(body, fds[1]);
  }
  close(fds[1]);
  std::string result;
  char buffer[512];
  ssize_t length;
  while ((length = read(fds[0], buffer, sizeof buffer)) != 0) {
    if (length > 0) result.append(buffer, static_cast<std::size_t>(length));
    if (length < 0 && errno != EINTR) break;
  }
  close(fds[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (WIFSIGNALED(status)) return "the child died by signal " + std::to_string(WTERMSIG(status));
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return "the child failed: " + result;
  return result;
}

std::string BecomeUser(uid_t id) {
  if (setgroups(0, nullptr) != 0) return Failed("setgroups");
  if (setresgid(id, id, id) != 0) return Failed("setresgid");
  if (setresuid(id, id, id) != 0) return Failed("setresuid");
  // A change of user makes the process undumpable, and its /proc/self files root's.
  if (prctl(PR_SET_DUMPABLE, 1) != 0) return Failed("prctl(PR_SET_DUMPABLE)");
  return "";
}

std::string EnterUserNamespace() {
  const std::string user = std::to_string(geteuid());
  const std::string group = std::to_string(getegid());
  if (unshare(CLONE_NEWUSER) != 0) {
    // EINVAL: the process has more threads than this one (ThreadSanitizer starts its own).
    const int error = errno;
    return Failed(error == EINVAL ? "unshare(CLONE_NEWUSER), in a process of several threads"
                                  : "unshare(CLONE_NEWUSER)",
                  error);
  }
  std::string result = WriteFile("/proc/self/setgroups", "deny");
  if (result.empty()) result = WriteFile("/proc/self/uid_map", user + " " + user + " 1");
  if (result.empty()) result = WriteFile("/proc/self/gid_map", group + " " + group + " 1");
  return result;
}

}  // namespace zarn
