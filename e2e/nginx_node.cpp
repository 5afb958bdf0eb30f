#include "e2e/nginx_node.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "testing/loopback_port.h"

extern char** environ;

namespace zarn {
namespace {

const char* const kNginx = "/usr/sbin/nginx";

void WriteConfig(const std::string& path, const std::string& prefix, const std::string& root,
                 std::uint16_t port) {
  std::ofstream conf(path);
  conf << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
       << "error_log " << prefix << "/error.log warn;\npid " << prefix << "/nginx.pid;\n"
       << (::geteuid() == 0 ? "user root;\n" : "") << "events { worker_connections 4096; }\n"
       << "http {\n  access_log off;\n  sendfile on;\n  tcp_nopush on;\n"
       << "  keepalive_requests 1000000;\n  keepalive_timeout 120s;\n"
       << "  default_type application/octet-stream;\n"
       << "  types { application/xml xml; }\n"
       << "  client_body_temp_path " << prefix << "/body;\n"
       << "  proxy_temp_path " << prefix << "/proxy;\n"
       << "  fastcgi_temp_path " << prefix << "/fastcgi;\n"
       << "  uwsgi_temp_path " << prefix << "/uwsgi;\n"
       << "  scgi_temp_path " << prefix << "/scgi;\n"
       << "  server {\n    listen 127.0.0.1:" << port << ";\n    root " << root << ";\n"
       << "    location / { }\n  }\n}\n";
}

}  // namespace

bool NginxNode::Available() { return ::access(kNginx, X_OK) == 0; }

NginxNode::NginxNode(const std::string& root) : root_(std::filesystem::absolute(root)) {
  const std::string base = std::filesystem::temp_directory_path() / "zarn-nginx-XXXXXX";
  std::vector<char> name(base.begin(), base.end());
  name.push_back('\0');
  if (::mkdtemp(name.data()) == nullptr) {
    throw std::runtime_error("mkdtemp failed");
  }
  prefix_ = name.data();
  // Another process can take a port between FreePort and nginx's bind: try again.
  for (int attempt = 0; attempt < 5 && pid_ < 0; ++attempt) StartOnce(FreePort());
  if (pid_ < 0) throw std::runtime_error("nginx did not start; see " + prefix_ + "/error.log");
}

NginxNode::~NginxNode() {
  Stop();
  std::error_code ignored;
  std::filesystem::remove_all(prefix_, ignored);
}

std::string NginxNode::Host() const { return "127.0.0.1:" + std::to_string(port_); }

void NginxNode::StartOnce(std::uint16_t port) {
  const std::string conf = prefix_ + "/nginx.conf";
  WriteConfig(conf, prefix_, root_, port);
  std::vector<std::string> args = {kNginx, "-e", prefix_ + "/error.log", "-p", prefix_, "-c", conf};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (::posix_spawn(&pid, kNginx, nullptr, nullptr, argv.data(), environ) != 0) return;

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) return;  // exited: the port was taken
    if (PortAccepts(port)) {
      pid_ = pid;
      port_ = port;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

void NginxNode::Stop() { End(SIGTERM); }
void NginxNode::Kill() { End(SIGKILL); }

void NginxNode::End(int signal) {
  if (pid_ < 0) return;
  ::kill(pid_, signal);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (::waitpid(pid_, nullptr, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  pid_ = -1;
}

}  // namespace zarn
