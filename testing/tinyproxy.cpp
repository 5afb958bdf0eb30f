#include "testing/tinyproxy.h"

#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

#include "testing/child_process.h"
#include "testing/loopback_port.h"

namespace zarn {

Tinyproxy::Tinyproxy() {
  std::string base = std::filesystem::temp_directory_path() / "zarn-tinyproxy-XXXXXX";
  if (::mkdtemp(base.data()) == nullptr) return;
  folder_ = base;
  // Another process can take the port between FreePort and tinyproxy's bind: try again.
  for (int attempt = 0; attempt < 5 && !process_; ++attempt) Start();
}

Tinyproxy::~Tinyproxy() {
  process_.reset();
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
  try {
    process_ =
        std::make_unique<ChildProcess>(std::vector<std::string>{"tinyproxy", "-d", "-c", config});
  } catch (const std::runtime_error&) {
    return;  // not installed
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    if (PortAccepts(port_)) return;
    if (!process_->Running()) break;                             // exited: port taken?
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // polling a subprocess
  }
  process_.reset();
}

}  // namespace zarn
