#include "testing/nginx_server.h"

#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "testing/loopback_port.h"

namespace zarn {
namespace {

const char* const kNginx = "/usr/sbin/nginx";
constexpr int kAttempts = 5;
constexpr std::chrono::seconds kStartTimeout(30);

std::string MakePrefix() {
  std::string pattern = (std::filesystem::temp_directory_path() / "zarn-nginx-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("NginxServer: mkdtemp");
  return pattern;
}

// The pid nginx wrote, 0 before it wrote one. nginx writes it only once every listening
// socket is bound, so it tells our nginx from another process on the same port.
pid_t PidInFile(const std::string& path) {
  std::ifstream in(path);
  long pid = 0;
  return in >> pid ? static_cast<pid_t>(pid) : 0;
}

}  // namespace

bool NginxServer::Available() { return ::access(kNginx, X_OK) == 0; }

NginxServer::NginxServer(const std::string& root) : NginxServer(root, Options()) {}

NginxServer::NginxServer(const std::string& root, const Options& options)
    : root_(std::filesystem::absolute(root).string()), options_(options), prefix_(MakePrefix()) {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (StartOnce()) return;
  }
  const std::string message = "nginx did not start; see " + prefix_ + "/error.log";
  process_.reset();
  throw std::runtime_error(message);
}

NginxServer::~NginxServer() {
  process_.reset();
  std::error_code ignored;
  std::filesystem::remove_all(prefix_, ignored);
}

std::string NginxServer::Host(int i) const { return "127.0.0.1:" + std::to_string(Port(i)); }

void NginxServer::Stop() {
  if (process_) process_->Stop();
}

void NginxServer::Kill() {
  if (process_) process_->Kill();
}

bool NginxServer::StartOnce() {
  process_.reset();
  ports_.clear();
  for (int i = 0; i < options_.ports; ++i) ports_.push_back(FreePort());
  std::filesystem::remove(prefix_ + "/nginx.pid");
  WriteConfig();
  process_ = std::make_unique<ChildProcess>(std::vector<std::string>{
      kNginx, "-e", prefix_ + "/error.log", "-p", prefix_, "-c", prefix_ + "/nginx.conf"});
  const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  while (std::chrono::steady_clock::now() < deadline) {
    if (!process_->Running()) return false;  // a port was taken: try fresh ones
    if (PidInFile(prefix_ + "/nginx.pid") == process_->Pid()) {
      bool accepting = true;
      for (std::uint16_t port : ports_) accepting = accepting && PortAccepts(port);
      if (accepting) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

void NginxServer::WriteConfig() const {
  std::ofstream conf(prefix_ + "/nginx.conf");
  conf << "daemon off;\n"
       << (options_.workers > 0
               ? "master_process on;\nworker_processes " + std::to_string(options_.workers)
               : std::string("master_process off;\nworker_processes 1"))
       << ";\n";
  // Workers of a root nginx run as "nobody" unless told otherwise, and could not read the
  // test's private folders.
  if (::geteuid() == 0) conf << "user root;\n";
  conf << "pid " << prefix_ << "/nginx.pid;\nerror_log " << prefix_ << "/error.log warn;\n"
       << "events { worker_connections 4096; }\nhttp {\n"
       << "  default_type application/octet-stream;\n  types { application/xml xml; }\n"
       << "  keepalive_requests 1000000;\n  keepalive_timeout 120s;\n";
  if (options_.sendfile) conf << "  sendfile on;\n  tcp_nopush on;\n";
  if (options_.accessLog) {
    conf << "  log_format ranges '$uri $http_range $status';\n"
         << "  access_log " << AccessLog() << " ranges;\n";
  } else {
    conf << "  access_log off;\n";
  }
  // Below the prefix, not nginx's built-in folders, which only root may write.
  for (const char* temp : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"}) {
    conf << "  " << temp << "_temp_path " << prefix_ << "/" << temp << ";\n";
  }
  for (int i = 0; i < options_.ports; ++i) {
    conf << "  server {\n    listen 127.0.0.1:" << ports_[i] << ";\n    root " << root_ << ";\n";
    if (!options_.limitRate.empty() && i >= options_.firstLimitedPort) {
      conf << "    limit_rate " << options_.limitRate << ";\n";
    }
    conf << "  }\n";
  }
  conf << "}\n";
}

}  // namespace zarn
