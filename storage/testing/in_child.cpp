#include "storage/testing/in_child.h"

#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
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

// Enters a user namespace of its own whose one id `user` stands for `outside_user` in the
// namespace it was in, and `group` for `outside_group`: the map of one id that a user may
// write without privilege.
std::string EnterMappedNamespace(const std::string& user, const std::string& outside_user,
                                 const std::string& group, const std::string& outside_group) {
  if (unshare(CLONE_NEWUSER) != 0) {
    // EINVAL: the process has more threads than this one (ThreadSanitizer starts its own).
    const int error = errno;
    return Failed(error == EINVAL ? "unshare(CLONE_NEWUSER), in a process of several threads"
                                  : "unshare(CLONE_NEWUSER)",
                  error);
  }
  std::string result = WriteFile("/proc/self/setgroups", "deny");
  if (result.empty()) result = WriteFile("/proc/self/uid_map", user + " " + outside_user + " 1");
  if (result.empty()) result = WriteFile("/proc/self/gid_map", group + " " + outside_group + " 1");
  return result;
}

// Forks, with a pipe from fds[1] to fds[0] open in both processes; `child` is what fork
// answered. "" or what failed.
std::string ForkWithPipe(int fds[2], pid_t* child) {
  if (pipe2(fds, O_CLOEXEC) != 0) return Failed("pipe");
  *child = fork();
  if (*child < 0) {
    const std::string failed = Failed("fork");
    close(fds[0]);
    close(fds[1]);
    return failed;
  }
  return "";
}

// The wait status of `child`, once it has ended.
int WaitFor(pid_t child) {
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return status;
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
  pid_t child = 0;
  if (const std::string failed = ForkWithPipe(fds, &child); !failed.empty()) return failed;
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
  const int status = WaitFor(child);
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
  return EnterMappedNamespace(user, user, group, group);
}

std::string EnterNestedUserNamespace() {
  const std::string user = std::to_string(geteuid());
  const std::string group = std::to_string(getegid());
  std::string result = EnterMappedNamespace("0", user, "0", group);
  if (result.empty()) result = EnterMappedNamespace(user, "0", group, "0");
  return result;
}

std::string EnterUserNamespaceWithMaps(uid_t id, const std::string& uid_map,
                                       const std::string& gid_map) {
  // Only a process of the parent namespace with the capability may write such maps: a
  // helper that stays root writes them once the namespace exists.
  const std::string maps = "/proc/" + std::to_string(getpid());
  int ready[2];
  pid_t writer = 0;
  if (const std::string failed = ForkWithPipe(ready, &writer); !failed.empty()) return failed;
  if (writer == 0) {
    close(ready[1]);
    char byte = 0;
    if (read(ready[0], &byte, 1) != 1) _exit(2);  // the namespace was not made
    _exit(WriteFile(maps + "/uid_map", uid_map).empty() &&
                  WriteFile(maps + "/gid_map", gid_map).empty()
              ? 0
              : 1);
  }
  close(ready[0]);
  std::string result = BecomeUser(id);
  if (result.empty() && unshare(CLONE_NEWUSER) != 0) result = Failed("unshare(CLONE_NEWUSER)");
  if (result.empty() && write(ready[1], "x", 1) != 1) result = Failed("write");
  close(ready[1]);
  const int status = WaitFor(writer);
  if (result.empty() && (!WIFEXITED(status) || WEXITSTATUS(status) != 0)) {
    result = "the helper could not write the maps";
  }
  return result;
}

std::string ShowFileAt(const std::string& path, const std::string& content) {
  if (unshare(CLONE_NEWNS) != 0) return Failed("unshare(CLONE_NEWNS)");
  // Private first, so that the mount below stays in this namespace.
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    return Failed("mount(MS_PRIVATE)");
  }
  char shown[] = "/tmp/zarn-shown-XXXXXX";
  const int fd = mkstemp(shown);
  if (fd < 0) return Failed("mkstemp");
  std::string result;
  if (fchmod(fd, 0644) != 0) {
    result = Failed("fchmod");
  } else if (write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size())) {
    result = Failed("write");
  } else if (mount(shown, path.c_str(), nullptr, MS_BIND, nullptr) != 0) {
    const int error = errno;
    result = Failed("mount(MS_BIND) on " + path, error);
  }
  close(fd);
  unlink(shown);  // the mount keeps the file
  return result;
}

}  // namespace zarn
