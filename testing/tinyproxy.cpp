#include "testing/tinyproxy.h"

#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <thread>

#include "testing/loopback_port.h"

extern char** environ;

namespace zarn {

Tinyproxy::Tinyproxy() {
  std::string base = std::filesystem::temp_directory_path() / "zarn-tinyproxy-XXXXXX";
  if (::mkdtemp(base.data()) == nullptr) return;
  folder_ = base;
  // Another process can take the port between FreePort and tinyproxy's bind: try again.
  for (int attempt = 0; attempt < 5 && pid_ == 0; ++attempt) Start();
}

Tinyproxy::~Tinyproxy() {
  Kill();
  std::error_code ignored;
  if (!folder_.empty()) std::filesystem::remove_all(folder_, ignored);
}

std::string Tinyproxy::Url() const { return "http://127.0.0.1:" + std::to_string(port_); }

void Tinyproxy::Start() {
  port_ = FreePort();
  const std::string config = folder_ + "/tinyproxy.conf";
  std::ofstream(config) << "Port " << port_ << "\nListen 127.0.0.1\nTimeout 30\n"
                        << "LogLevel Critical\nLogFile \"" << folder_ << "/log\"\n"
                        << "MaxClients 100\n";
  std::string program = "tinyproxy", foreground = "-d", option = "-c", path = config;
  char* argv[] = {program.data(), foreground.data(), option.data(), path.data(), nullptr};
  if (::posix_spawnp(&pid_, "tinyproxy", nullptr, nullptr, argv, environ) != 0) {
    pid_ = 0;
    return;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    if (PortAccepts(port_)) return;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {  // exited: port taken?
      pid_ = 0;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // polling a subprocess
  }
  Kill();
}

void Tinyproxy::Kill() {
  if (pid_ == 0) return;
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, nullptr, 0);
  pid_ = 0;
}

}  // namespace zarn
