#ifndef ZARN_TESTING_CHILD_PROCESS_H_
#define ZARN_TESTING_CHILD_PROCESS_H_

// A program that a test or a benchmark runs beside itself (a server, a tool), stopped by
// the owner and never outliving it: it gets SIGTERM when the thread that started it ends,
// so also when the owning process dies, even by a crash (start it from a thread that
// lives as long as it should). It runs in a process group of its own, so that its own
// children (nginx's workers) go with it.
//
//   ChildProcess server({"/usr/sbin/nginx", "-c", conf});   // throws when it cannot start
//   server.Running();
//   server.Stop();                                           // SIGTERM, bounded wait, SIGKILL

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace zarn {

class ChildProcess {
 public:
  struct Options {
    std::string output = "/dev/null";  // standard output and error go to this file
    int keepFd = -1;                   // a descriptor left open in the child (-1: none)
  };

  // argv[0] is a path, or a name looked up in PATH. Throws std::runtime_error when the
  // program cannot be found or the process cannot be made.
  explicit ChildProcess(const std::vector<std::string>& argv);
  ChildProcess(const std::vector<std::string>& argv, const Options& options);
  ~ChildProcess();  // Stop()
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Pid() const { return pid_; }

  // False once the process has ended (it is then reaped).
  bool Running();

  // Waits until the process ends or `timeout` passes; its wait status, or nothing when it
  // still runs. `usage` receives the resources it used once it has ended.
  std::optional<int> Wait(std::chrono::milliseconds timeout, rusage* usage = nullptr);

  // Sends `signal` to the process group, waits up to 10 s, then SIGKILL. Kill: SIGKILL at
  // once. Both wait until the process is reaped; later calls do nothing.
  void Stop(int signal);
  void Stop();
  void Kill();

  // The wait status of the ended process (nothing while it runs).
  std::optional<int> ExitStatus() const { return status_; }

 private:
  bool Reap(int options, rusage* usage);

  pid_t pid_ = -1;
  std::optional<int> status_;
};

// Whether `program` (a path, or a name looked up in PATH) can be run.
bool ProgramAvailable(const std::string& program);

}  // namespace zarn

#endif  // ZARN_TESTING_CHILD_PROCESS_H_
