#ifndef ZARN_UPDATER_E2E_LOCAL_SERVERS_H_
#define ZARN_UPDATER_E2E_LOCAL_SERVERS_H_

// Test support: nginx serving a folder on free ports of 127.0.0.1, and an Xvfb display.

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "testing/loopback_port.h"

namespace zarn {

// A port of 127.0.0.1 that nothing listened on a moment ago.


// Starts a server process that dies with the test process (even when the test crashes),
// its output going to /dev/null. `keep_fd` stays open in the child (-1: none).
inline pid_t Spawn(const std::vector<std::string>& arguments, int keep_fd = -1) {
  std::vector<std::string> copy = arguments;
  std::vector<char*> argv;
  for (std::string& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid != 0) return pid;
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  if (getppid() != parent) _exit(127);
  const int null = open("/dev/null", O_WRONLY);
  dup2(null, 1);
  dup2(null, 2);
  for (int fd = 3; fd < 1024; ++fd) {
    if (fd != keep_fd) close(fd);
  }
  execv(argv[0], argv.data());
  _exit(127);
}

inline void Stop(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  int status;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

// One nginx process serving `root` on `count` ports; ports after the first are limited to
// `node_rate` bytes a second per connection ("" for no limit).
class NginxServers {
 public:
  NginxServers(const std::string& folder, const std::string& root, int count,
               const std::string& node_rate) {
    if (access("/usr/sbin/nginx", X_OK) != 0) return;
    for (int attempt = 0; attempt < 5 && pid_ <= 0; ++attempt) {
      ports_.clear();
      for (int i = 0; i < count; ++i) ports_.push_back(FreePort());
      const std::string conf = folder + "/nginx.conf";
      std::ofstream out(conf);
      out << "worker_processes 1;\nmaster_process off;\ndaemon off;\n"
          << "pid " << folder << "/nginx.pid;\nerror_log " << folder << "/error.log;\n"
          << "events { worker_connections 256; }\nhttp {\n  access_log off;\n";
      for (const char* temp : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"}) {
        out << "  " << temp << "_temp_path " << folder << "/" << temp << ";\n";
      }
      for (int i = 0; i < count; ++i) {
        out << "  server { listen 127.0.0.1:" << ports_[i] << "; root " << root << ";";
        if (i > 0 && !node_rate.empty()) out << " limit_rate " << node_rate << ";";
        out << " }\n";
      }
      out << "}\n";
      out.close();
      pid_ = Spawn({"/usr/sbin/nginx", "-p", folder, "-c", conf, "-e", folder + "/error.log"});
      if (!WaitUntilReady()) {
        Stop(pid_);
        pid_ = -1;
      }
    }
  }
  ~NginxServers() { Stop(pid_); }
  NginxServers(const NginxServers&) = delete;
  NginxServers& operator=(const NginxServers&) = delete;

  bool ok() const { return pid_ > 0; }
  int port(int i) const { return ports_[i]; }
  std::string host(int i) const { return "127.0.0.1:" + std::to_string(ports_[i]); }

 private:
  bool WaitUntilReady() {
    if (pid_ <= 0) return false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (int port : ports_) {
      while (!PortAccepts(port)) {
        int status;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
          pid_ = -1;  // it could not bind: try other ports
          return false;
        }
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
    return true;
  }

  pid_t pid_ = -1;
  std::vector<int> ports_;
};

// An Xvfb server on a display it picks; DISPLAY is set while it runs.
class XvfbDisplay {
 public:
  XvfbDisplay() {
    if (access("/usr/bin/Xvfb", X_OK) != 0) return;
    int fds[2];
    if (pipe(fds) != 0) return;
    pid_ = Spawn({"/usr/bin/Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                  "1024x768x24", "-nolisten", "tcp", "-noreset"},
                 fds[1]);
    close(fds[1]);
    std::string number;
    char c;
    while (pid_ > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) {
      Stop(pid_);
      pid_ = -1;
      return;
    }
    display_ = ":" + number;
    setenv("DISPLAY", display_.c_str(), 1);
  }
  ~XvfbDisplay() {
    Stop(pid_);
    unsetenv("DISPLAY");
  }
  XvfbDisplay(const XvfbDisplay&) = delete;
  XvfbDisplay& operator=(const XvfbDisplay&) = delete;

  bool ok() const { return !display_.empty(); }
  const std::string& display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

}  // namespace zarn

#endif  // ZARN_UPDATER_E2E_LOCAL_SERVERS_H_
